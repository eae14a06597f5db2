#include "environment/TVIAutomatorInstaller.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/TVIGeneralUtils.h"
#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/SUStandardVersionComparator.h"
#include "foundation/StandardFolders.h"
#include "platform/Platform.h"
#include "platform/SystemInformation.h"
#include "platform/UrlSchemeHandlers.h"

#include <cstdlib>
#include <thread>

namespace tvi {

struct TVIAutomatorInstaller::ItemLines {
    const char* willTry;
    const char* copied;
    const char* couldNotCopy;
    const char* installedInPath;
    const char* same;
    const char* needToUpdate;
    const char* willTryDelete;
    const char* updated;
    const char* installedHigher;
    bool isServiceWorkflow;
};

namespace {

using ItemLines = TVIAutomatorInstaller::ItemLines;

const ItemLines kActionLines{
    "%@: => Will try to copy Automator action from bundle with path: %@",
    "%@: => Copied Automator action from bundle succesfully",
    "%@: => NSFileManager couldn't copy the automator action error: %@",
    "%@: => Installed Automator action in path: %@",
    "%@: => Automator action versions are the same no need to update",
    "%@: => Need to update the automator action",
    "%@: => Will try delete the destination directory at %@",
    "%@: => Updated Automator action copied succesfully",
    "%@: => Automator action version installed is higher no need to update",
    false,
};
const ItemLines kWorkflowLines{
    "%@: => Will try to copy Automator workflow from bundle with path: %@",
    "%@: => Copied automator workflow from bundle succesfully",
    "%@: => NSFileManager couldn't copy the automator workflow error: %@",
    "%@: => Installed Automator workflow in path: %@",
    "%@: => Automator workflow versions are the same no need to update",
    "%@: => Need to update the automator workflow",
    "%@: Will try delete the destination directory at %@",
    "%@: => Updated Automator workflow copied succesfully",
    "%@: => Automator workflow version installed is higher no need to update",
    true,
};
const ItemLines kLegacyWorkflowLines{
    "%@: => Will try to copy Legacy osx < 10.9 Automator workflow from bundle with path: %@",
    "%@: => Copied Legacy Automator workflow from bundle succesfully",
    "%@: => NSFileManager couldn't copy the Legacy automator workflow error: %@",
    "%@: => Installed Legacy Automator workflow in path: %@",
    "%@: => Legacy Automator workflow versions are the same  no need to update",
    "%@: => Need to update the Legacy Automator workflow",
    "%@: Will try delete the destination directory at %@",
    "%@: => Updated Legacy Automator workflow copied succesfully",
    "%@: Legacy Automator workflow version installed is higher no need to update",
    false,
};
const ItemLines kPluginLines{
    "%@: => Will try to copy Address book Plugin from bundle with path: %@",
    nullptr,
    "%@: => NSFileManager couldn't copy the address book plugin with error: %@",
    nullptr,
    "%@: => AddressBook plugin versions are the same no need to update",
    "%@: => Need to update the address book plugin",
    "%@: Will try delete the destination directory at %@",
    "%@: => Updated Address book plugin copied succesfully",
    "%@: => AddressBook plugin version installed is higher no need to update",
    false,
};

std::optional<std::string> below(const std::optional<std::string>& folder, const char* name)
{
    if (!folder) return std::nullopt;
    return *folder + "/" + name;
}

std::optional<std::string> resource(const char* name, const char* type)
{
    return Bundle::mainBundle().pathForResource(name, type);
}

bool folderExists(const std::optional<std::string>& folder)
{
    const bool exists = folder && FileManager::fileExists(*folder);
    if (!exists) DDLogError("%@: => directory %@ doesn't exist!", folder);
    return exists;
}

void createFolder(const std::optional<std::string>& folder)
{
    Error error;
    if (!folder) {
        DDLogError("%@: => Error creating path %@ with error: %@", folder, std::string("no user Library folder"));
    } else if (!StandardFolders::createDirectory(*folder, &error)) {
        DDLogError("%@: => Error creating path %@ with error: %@", folder, error.localizedDescription);
    } else {
        DDLogInfo("%@: => Created directory %@ succesfully", folder);
    }
}

// A source item missing from the bundle is a failed copy like any other.
bool copyItem(const std::optional<std::string>& source, const std::optional<std::string>& destination, Error& error)
{
    if (!source || !destination) {
        error = Error{FileManager::kCocoaErrorDomain, FileManager::kFileReadNoSuchFileError,
                      !source ? "The item is missing from the application bundle." : "No user Library folder.", {}};
        return false;
    }
    return FileManager::copyItem(*source, *destination, &error);
}

}

std::shared_ptr<TVIAutomatorInstaller> TVIAutomatorInstaller::create()
{
    auto installer = std::make_shared<TVIAutomatorInstaller>();
    // The installer's destructor waits for the thread, so the thread need not own it.
    installer->thread_ = std::thread([raw = installer.get()] { raw->startInstall(); });
    return installer;
}

TVIAutomatorInstaller::~TVIAutomatorInstaller()
{
    if (thread_.joinable()) thread_.join();
}

void TVIAutomatorInstaller::startInstall()
{
    if (!isStarted_) return;
    // Version numbers that number something else (a distribution's releases) say nothing
    // about the companions: the newest set fits, without a line of its own.
    if (!Platform::get<SystemInformation>()->versionSelectsCompanions()) {
        runNewestSteps();
        return;
    }
    installForVersionComponents(TVIGeneralUtils::versions(TVIGeneralUtils::checkOSXVersion()));
}

void TVIAutomatorInstaller::installForVersionComponents(const std::vector<std::string>& components)
{
    if (!isStarted_) return;
    if (components.size() != 3 && components.size() != 2) {
        DDLogError("%@: => Could not get a valid osversion in TVIAutomatorInstaller version count incompatible");
        return;
    }
    const int major = std::atoi(components[0].c_str());
    const int minor = std::atoi(components[1].c_str());
    if (major == 10) {
        if (minor == 6) {
            DDLogInfo("%@: => Found OSX Leopard");
        } else if (minor == 7 || minor == 8) {
            DDLogInfo(minor == 7 ? "%@: => Found OSX Lion" : "%@: => Found OSX Mountain Lion");
            runOlderSteps();
        } else if (minor >= 9) {
            DDLogInfo(minor == 9 ? "%@: => Found OSX Mountain Mavericks" : "%@: => Found OSX Yosemite and Higher");
            runNewestSteps();
        } else {
            DDLogInfo("%@: => Found OSX Leopard and Lower");
        }
    } else if (major >= 11) {
        runNewestSteps();
    } else {
        DDLogError("%@: => Could not get a valid osversion in TVIAutomatorInstaller version[0] incompatible");
    }
}

void TVIAutomatorInstaller::runNewestSteps()
{
    deletePreReleaseFilesForMavericksAndHigher();
    installForMavericksAndHigher();
    installAddressBookPlugin();
}

void TVIAutomatorInstaller::runOlderSteps()
{
    deletePreReleaseFilesForMountainLionAndLower();
    installForMountainLionAndLower();
    installAddressBookPlugin();
}

std::vector<std::string> TVIAutomatorInstaller::getUserLibraryPaths()
{
    return StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::Library, UserDomainMask);
}

std::optional<std::string> TVIAutomatorInstaller::getUserLibraryAutomatorFolder()
{
    const auto paths = getUserLibraryPaths();
    if (paths.empty()) return std::nullopt;
    return paths.front() + "/" + AUTOMATOR_FOLDER_NAME;
}

std::optional<std::string> TVIAutomatorInstaller::getUserLibraryServicesFolder()
{
    const auto paths = getUserLibraryPaths();
    if (paths.empty()) return std::nullopt;
    return paths.front() + "/" + SERVICES_FOLDER_NAME;
}

std::optional<std::string> TVIAutomatorInstaller::getUserLibraryAddressBookPluginsFolder()
{
    const auto paths = getUserLibraryPaths();
    if (paths.empty()) return std::nullopt;
    return paths.front() + "/" + ADDRESSBOOK_PLUGINS_FOLDER_NAME;
}

std::optional<std::string> TVIAutomatorInstaller::getAutomatorDestinationPath()
{
    auto path = below(getUserLibraryAutomatorFolder(), "Call via Calvetto.action");
    DDLogInfo("%@: => Created automatorDestinatioPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getPreReleasedAutomatorDestinationPath()
{
    auto path = below(getUserLibraryAutomatorFolder(), "Send Selected Text To Calvetto.action");
    DDLogInfo("%@: => Created automatorDestinatioPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getWorkflowDestinationPath()
{
    auto path = below(getUserLibraryServicesFolder(), "Call via Calvetto.workflow");
    DDLogInfo("%@: => Created workflowDestinationPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getPreReleasedWorkflowDestinationPath()
{
    auto path = below(getUserLibraryServicesFolder(), "Send Selected Text To Calvetto.workflow");
    DDLogInfo("%@: => Created workflowDestinationPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getLegacyWorkflowDestinationPath()
{
    auto path = below(getUserLibraryServicesFolder(), "Call with Calvetto.workflow");
    DDLogInfo("%@: => Created legacyWorkflowDestinationPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getPreReleasedLegacyWorkflowDestinationPath()
{
    auto path = below(getUserLibraryServicesFolder(), "Send Text To Calvetto.workflow");
    DDLogInfo("%@: => Created legacyWorkflowDestinationPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getAddressBookPluginDestinationPath()
{
    auto path = below(getUserLibraryAddressBookPluginsFolder(), "com.orvella.TVAbplugin.bundle");
    DDLogInfo("%@: => Created pluginDestinationPath: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getAutomatorPathInBundle()
{
    auto path = resource("Call via Calvetto", "action");
    DDLogInfo("%@: => Got automatorPathInBundle: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getWorkflowPathInBundle()
{
    auto path = resource("Call via Calvetto", "workflow");
    DDLogInfo("%@: => Got workflowPathInBundle: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getLegacyWorkflowPathInBundle()
{
    auto path = resource("Call with Calvetto", "workflow");
    DDLogInfo("%@: => Got workflowPathInBundle: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getAddressBookPluginPathInBundle()
{
    auto path = resource("com.orvella.TVAbplugin", "bundle");
    DDLogInfo("%@: => Got addressBookPluginPathInBundle: %@", path);
    return path;
}

std::optional<std::string> TVIAutomatorInstaller::getPayloadVersion(const std::optional<std::string>& path)
{
    if (!path) return std::nullopt;
    const Bundle payload(*path);
    DDLogInfo("%@: => Payload Identifier: %@", payload.objectForInfoDictionaryKey("CFBundleIdentifier").stringValue());
    auto version = payload.objectForInfoDictionaryKey("CFBundleVersion").stringValue();
    DDLogInfo("%@: => Payload version: %@", version);
    return version;
}

bool TVIAutomatorInstaller::UserLibraryAutomatorFolderExists() { return folderExists(getUserLibraryAutomatorFolder()); }
bool TVIAutomatorInstaller::UserLibraryServicesFolderExists() { return folderExists(getUserLibraryServicesFolder()); }
bool TVIAutomatorInstaller::UserLibraryAddressBookPluginsFolderExists()
{
    return folderExists(getUserLibraryAddressBookPluginsFolder());
}
void TVIAutomatorInstaller::createUserLibraryAutomatorFolder() { createFolder(getUserLibraryAutomatorFolder()); }
void TVIAutomatorInstaller::createUserLibraryServicesFolder() { createFolder(getUserLibraryServicesFolder()); }
void TVIAutomatorInstaller::createUserLibraryAddressBookPluginsFolder()
{
    createFolder(getUserLibraryAddressBookPluginsFolder());
}

void TVIAutomatorInstaller::deleteDirectory(const std::optional<std::string>& path)
{
    DDLogInfo("%@: => try to delete directory at path:%@", path);
    Error error;
    if (!path || !FileManager::removeItem(*path, &error))
        DDLogInfo("%@: => couldn't delete the directory at Path: %@ with error: %@", path, error.localizedDescription);
    else
        DDLogInfo("%@: => deleted directory at path:%@ succesfully", path);
}

void TVIAutomatorInstaller::installForMavericksAndHigher()
{
    DDLogInfo("%@: => installForMavericksAndHigher");
    if (getUserLibraryPaths().empty()) return;
    const auto actionDestination = getAutomatorDestinationPath();
    const auto workflowDestination = getWorkflowDestinationPath();
    if (!UserLibraryAutomatorFolderExists()) createUserLibraryAutomatorFolder();
    if (!UserLibraryServicesFolderExists()) createUserLibraryServicesFolder();
    const auto actionSource = getAutomatorPathInBundle();
    const auto workflowSource = getWorkflowPathInBundle();
    installItem(kActionLines, actionSource, actionDestination);
    installItem(kWorkflowLines, workflowSource, workflowDestination);
}

void TVIAutomatorInstaller::installForMountainLionAndLower()
{
    DDLogInfo("%@: => installForMountainLionAndLower");
    if (getUserLibraryPaths().empty()) return;
    const auto destination = getLegacyWorkflowDestinationPath();
    if (!UserLibraryServicesFolderExists()) createUserLibraryServicesFolder();
    installItem(kLegacyWorkflowLines, getLegacyWorkflowPathInBundle(), destination);
}

void TVIAutomatorInstaller::installAddressBookPlugin()
{
    DDLogInfo("%@: => installAddressBookPlugin");
    if (getUserLibraryPaths().empty()) return;
    const auto destination = getAddressBookPluginDestinationPath();
    if (!UserLibraryAddressBookPluginsFolderExists()) createUserLibraryAddressBookPluginsFolder();
    installItem(kPluginLines, getAddressBookPluginPathInBundle(), destination);
}

void TVIAutomatorInstaller::deletePreReleaseFilesForMavericksAndHigher()
{
    DDLogInfo("%@: => deletePreReleaseFilesForMavericksAndHigher");
    if (getUserLibraryPaths().empty()) return;
    if (UserLibraryAutomatorFolderExists()) deleteDirectory(getPreReleasedAutomatorDestinationPath());
    if (UserLibraryServicesFolderExists()) deleteDirectory(getPreReleasedWorkflowDestinationPath());
}

void TVIAutomatorInstaller::deletePreReleaseFilesForMountainLionAndLower()
{
    DDLogInfo("%@: => deletePreReleaseFilesForMountainLionAndLower");
    if (getUserLibraryPaths().empty()) return;
    if (UserLibraryServicesFolderExists()) deleteDirectory(getPreReleasedLegacyWorkflowDestinationPath());
}

void TVIAutomatorInstaller::installItem(const ItemLines& lines, const std::optional<std::string>& source,
                                        const std::optional<std::string>& destination)
{
    DDLogInfo(lines.willTry, source);
    const auto bundleVersion = getPayloadVersion(source);
    Error error;
    if (copyItem(source, destination, error)) {
        if (lines.copied) DDLogInfo(lines.copied);
        if (lines.isServiceWorkflow) announceWorkflow(*destination);
        return;
    }
    DDLogWarn(lines.couldNotCopy, error.localizedDescription);
    if (error.domain != FileManager::kCocoaErrorDomain || error.code != FileManager::kFileWriteFileExistsError) return;
    if (lines.installedInPath) DDLogInfo(lines.installedInPath, destination);
    updateItem(lines, source, *destination, bundleVersion);
}

void TVIAutomatorInstaller::updateItem(const ItemLines& lines, const std::optional<std::string>& source,
                                       const std::string& destination, const std::optional<std::string>& bundleVersion)
{
    const auto installedVersion = getPayloadVersion(destination);
    const ComparisonResult order =
        SUStandardVersionComparator::defaultComparator().compareVersion(bundleVersion.value_or(""), installedVersion.value_or(""));
    if (order == ComparisonResult::OrderedSame) {
        DDLogInfo(lines.same);
        return;
    }
    if (order == ComparisonResult::OrderedAscending) {
        DDLogInfo(lines.installedHigher);
        return;
    }
    DDLogInfo(lines.needToUpdate);
    DDLogInfo(lines.willTryDelete, destination);
    Error error;
    if (FileManager::removeItem(destination, &error))
        DDLogInfo("%@: => Deleted directory at %@ succesfully", destination);
    else
        DDLogInfo("%@: => Couldn't delete path %@ with error: %@", destination, error.localizedDescription);
    Error copyError;
    if (!copyItem(source, destination, copyError)) {
        DDLogWarn("%@: => Couldn't copy directory from %@ to %@ Error: %@", source, destination,
                  copyError.localizedDescription);
        return;
    }
    DDLogInfo(lines.updated);
    if (lines.isServiceWorkflow) announceWorkflow(destination);
}

void TVIAutomatorInstaller::announceWorkflow(const std::string& workflowPath)
{
    // The workflow's link handler runs the installed action.
    if (const auto action = below(getUserLibraryAutomatorFolder(), "Call via Calvetto.action"))
        Platform::get<UrlSchemeHandlers>()->serviceWorkflowInstalled(workflowPath, *action);
}

}
