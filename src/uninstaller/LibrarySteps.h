#pragma once

// The removals in the user's Library: the seven companion items, the application-support
// folder, the log folder, the preferences, the crash and hang reports, and at last the
// Library folders Telvora made once they are empty. Each logs what it found and did and never
// reports to the user.
#include <optional>
#include <string>
#include <vector>

namespace sarnex {

class LibrarySteps {
public:
    LibrarySteps() = delete;

    static constexpr const char* AUTOMATOR_FOLDER_NAME = "Automator";
    static constexpr const char* SERVICES_FOLDER_NAME = "Services";
    static constexpr const char* ADDRESSBOOK_PLUGINS_FOLDER_NAME = "Address Book Plug-Ins";
    static constexpr const char* TELVORA_FOLDER_NAME = "Telvora";
    static constexpr const char* LOGS_FOLDER_NAME = "Logs";

    // The seven companion steps, in their order.
    static void UninstallAutomatorAction();
    static void UninstallAutomatorWorkflow();
    static void UninstallAutomatorWorkflowLegacy();
    static void UninstallOldAutomatorAction();
    static void UninstallOldAutomatorWorkflow();
    static void UninstallOldAutomatorWorkflowLegacy();
    static void UninstallAddressBookPlugin();
    static void deleteApplicationSupportFolder();
    static void deleteLogsFolder();
    // Preferences/com.orvella.Telvora.plist and the copies of it set aside as unreadable.
    static void deletePreferences();
    // Logs/DiagnosticReports and Logs/CrashReporter "Telvora_*.crash", Logs/HangReporter/Telvora.
    static void deleteCrashReports();
    // The folders below (and the Library itself) that Telvora makes, only when empty.
    static void deleteEmptyFolders();

    // $HOME/Library and $HOME/Library/Application Support; nothing without a home folder.
    static std::vector<std::string> libraryPaths();
    static std::vector<std::string> applicationSupportPaths();

private:
    struct Step {
        const char* name;
        std::vector<std::string> (*lookup)();
        std::string folder;
        std::optional<std::string> item; // none: the folder itself goes
        bool terseMissingItem = false;   // the first step words its missing item differently
    };
    static void run(const Step& step);
    // Removes the files in folder whose names start with prefix (and end with suffix).
    static void removeNamed(const std::string& folder, const std::string& prefix, const std::string& suffix);
};

}
