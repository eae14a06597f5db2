#pragma once

// The removals in the user's Library: the seven companion items, the application-support
// folder and the log folder. Each logs what it found and did and never reports to the user.
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
};

}
