#include "LibrarySteps.h"

#include "ConsoleLog.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace sarnex {
namespace {
std::string home()
{
    const char* value = std::getenv("HOME");
    std::string text = value ? value : "";
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

void log(const std::string& text) { ConsoleLog::line(text); }
}

std::vector<std::string> LibrarySteps::libraryPaths()
{
    const std::string folder = home();
    if (folder.empty()) return {};
    return {folder + "/Library"};
}

std::vector<std::string> LibrarySteps::applicationSupportPaths()
{
    const std::string folder = home();
    if (folder.empty()) return {};
    return {folder + "/Library/Application Support"};
}

void LibrarySteps::run(const Step& step)
{
    log(step.name);
    const std::vector<std::string> paths = step.lookup();
    for (const std::string& path : paths) log("path: " + path);
    if (paths.empty()) {
        log("Error:NSSearchPathForDirectoriesInDomains returned 0 paths");
        return;
    }
    const std::string folder = paths.front() + "/" + step.folder;
    log("Found Path: " + folder);
    const std::string item = step.item ? folder + "/" + *step.item : folder;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        log((step.terseMissingItem ? "Error: " : "Error:") + folder + " does not exist!");
        return;
    }
    if (!fs::exists(item, error)) {
        log(step.terseMissingItem ? "Error: " + item + " does not exist" : "Error:" + item + " does not exist!");
        return;
    }
    fs::remove_all(item, error);
    if (error) {
        log("Error deleting:" + item);
        log("Error domain :" + std::string(error.category().name()));
        log("Error code:" + std::to_string(error.value()));
        log("Error description:" + error.message());
        log("Error reason:" + error.message());
        return;
    }
    log("Deleted " + item + " succesfully");
}

void LibrarySteps::UninstallAutomatorAction()
{
    run({"UninstallAutomatorAction", &libraryPaths, AUTOMATOR_FOLDER_NAME, "Call via Calvetto.action", true});
}

void LibrarySteps::UninstallAutomatorWorkflow()
{
    run({"UninstallAutomatorWorkflow", &libraryPaths, SERVICES_FOLDER_NAME, "Call via Calvetto.workflow"});
}

void LibrarySteps::UninstallAutomatorWorkflowLegacy()
{
    run({"UninstallAutomatorWorkflowLegacy", &libraryPaths, SERVICES_FOLDER_NAME, "Call with Calvetto.workflow"});
}

void LibrarySteps::UninstallOldAutomatorAction()
{
    run({"UninstallOldAutomatorAction", &libraryPaths, AUTOMATOR_FOLDER_NAME, "Send Selected Text To Calvetto.action"});
}

void LibrarySteps::UninstallOldAutomatorWorkflow()
{
    run({"UninstallOldAutomatorWorkflow", &libraryPaths, SERVICES_FOLDER_NAME,
         "Send Selected Text To Calvetto.workflow"});
}

void LibrarySteps::UninstallOldAutomatorWorkflowLegacy()
{
    run({"UninstallOldAutomatorWorkflowLegacy", &libraryPaths, SERVICES_FOLDER_NAME, "Send Text To Calvetto.workflow"});
}

void LibrarySteps::UninstallAddressBookPlugin()
{
    run({"UninstallAddressBookPlugin", &libraryPaths, ADDRESSBOOK_PLUGINS_FOLDER_NAME, "com.orvella.TVAbplugin.bundle"});
}

void LibrarySteps::deleteApplicationSupportFolder()
{
    run({"deleteApplicationSupportFolder", &applicationSupportPaths, TELVORA_FOLDER_NAME, std::nullopt});
}

void LibrarySteps::deleteLogsFolder()
{
    run({"deleteLogsFolder", &libraryPaths, LOGS_FOLDER_NAME, TELVORA_FOLDER_NAME});
}

void LibrarySteps::removeNamed(const std::string& folder, const std::string& prefix, const std::string& suffix)
{
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) {
        log("Error:" + folder + " does not exist!");
        return;
    }
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        // Files and links only: a folder of that name is nobody's report.
        std::error_code kind;
        if (fs::is_directory(entry.symlink_status(kind))) continue;
        std::error_code removal;
        if (fs::remove(entry.path(), removal))
            log("Deleted " + entry.path().string() + " succesfully");
        else
            log("Error deleting:" + entry.path().string() + " (" + removal.message() + ")");
    }
}

void LibrarySteps::deletePreferences()
{
    log("deletePreferences");
    const std::vector<std::string> paths = libraryPaths();
    if (paths.empty()) return;
    const std::string folder = paths.front() + "/Preferences";
    removeNamed(folder, "com.orvella.Telvora.plist", "");
}

void LibrarySteps::deleteCrashReports()
{
    log("deleteCrashReports");
    const std::vector<std::string> paths = libraryPaths();
    if (paths.empty()) return;
    const std::string logs = paths.front() + "/" + LOGS_FOLDER_NAME;
    removeNamed(logs + "/DiagnosticReports", "Telvora_", ".crash");
    removeNamed(logs + "/CrashReporter", "Telvora_", ".crash");
    run({"deleteHangReports", &libraryPaths, std::string(LOGS_FOLDER_NAME) + "/HangReporter", TELVORA_FOLDER_NAME});
}

void LibrarySteps::deleteEmptyFolders()
{
    log("deleteEmptyFolders");
    const std::vector<std::string> paths = libraryPaths();
    if (paths.empty()) return;
    // Innermost first, the Library last. rmdir removes only an empty folder, so whatever
    // someone else keeps there stays; a link is never followed.
    for (const char* below : {AUTOMATOR_FOLDER_NAME, SERVICES_FOLDER_NAME, ADDRESSBOOK_PLUGINS_FOLDER_NAME,
                              "Application Support", "Preferences", "Logs/DiagnosticReports", "Logs/CrashReporter",
                              "Logs/HangReporter", LOGS_FOLDER_NAME, ""}) {
        const std::string folder = *below ? paths.front() + "/" + below : paths.front();
        std::error_code error;
        if (!fs::is_directory(fs::symlink_status(folder, error))) continue;
        if (::rmdir(folder.c_str()) == 0) log("Deleted " + folder + " succesfully");
    }
}

}
