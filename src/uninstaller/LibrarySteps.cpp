#include "LibrarySteps.h"

#include "ConsoleLog.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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

}
