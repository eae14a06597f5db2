#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tvi {

// Puts the companions that Telvora.app carries (the "Call via Calvetto" action, its service
// workflows and the Address Book plug-in) into the user's Library at every start, on a thread
// of its own: removes pre-release items, copies missing ones, replaces an installed copy whose
// "CFBundleVersion" is lower than the bundle's, and leaves a newer installed copy alone.
// Which items a system gets depends on its version; a desktop whose version numbers mean
// something else gets the newest set.
class TVIAutomatorInstaller : public std::enable_shared_from_this<TVIAutomatorInstaller> {
public:
    static constexpr const char* AUTOMATOR_FOLDER_NAME = "Automator";
    static constexpr const char* SERVICES_FOLDER_NAME = "Services";
    static constexpr const char* ADDRESSBOOK_PLUGINS_FOLDER_NAME = "Address Book Plug-Ins";

    // Creates the installer and starts the run on a thread of its own; returns at once.
    static std::shared_ptr<TVIAutomatorInstaller> create();
    // Without a thread (tests run the steps themselves).
    TVIAutomatorInstaller() = default;
    // Waits for the run: a copy must not outlive the program's shutdown half-made.
    ~TVIAutomatorInstaller();
    TVIAutomatorInstaller(const TVIAutomatorInstaller&) = delete;
    TVIAutomatorInstaller& operator=(const TVIAutomatorInstaller&) = delete;

    bool isStarted() const { return isStarted_; }

    // The whole run, with the system version of the platform.
    void startInstall();
    // The run for the version's dot-separated components.
    void installForVersionComponents(const std::vector<std::string>& components);

    std::vector<std::string> getUserLibraryPaths();
    std::optional<std::string> getUserLibraryAutomatorFolder();
    std::optional<std::string> getUserLibraryServicesFolder();
    std::optional<std::string> getUserLibraryAddressBookPluginsFolder();
    std::optional<std::string> getAutomatorDestinationPath();
    std::optional<std::string> getPreReleasedAutomatorDestinationPath();
    std::optional<std::string> getWorkflowDestinationPath();
    std::optional<std::string> getPreReleasedWorkflowDestinationPath();
    std::optional<std::string> getLegacyWorkflowDestinationPath();
    std::optional<std::string> getPreReleasedLegacyWorkflowDestinationPath();
    std::optional<std::string> getAddressBookPluginDestinationPath();
    std::optional<std::string> getAutomatorPathInBundle();
    std::optional<std::string> getWorkflowPathInBundle();
    std::optional<std::string> getLegacyWorkflowPathInBundle();
    std::optional<std::string> getAddressBookPluginPathInBundle();
    std::optional<std::string> getPayloadVersion(const std::optional<std::string>& path);

    bool UserLibraryAutomatorFolderExists();
    bool UserLibraryServicesFolderExists();
    bool UserLibraryAddressBookPluginsFolderExists();
    void createUserLibraryAutomatorFolder();
    void createUserLibraryServicesFolder();
    void createUserLibraryAddressBookPluginsFolder();
    void deleteDirectory(const std::optional<std::string>& path);

    void installForMavericksAndHigher();
    void installForMountainLionAndLower();
    void installAddressBookPlugin();
    void deletePreReleaseFilesForMavericksAndHigher();
    void deletePreReleaseFilesForMountainLionAndLower();

    // The item-specific log lines of one installation (nullptr: the item has no such line).
    struct ItemLines;

private:
    void installItem(const ItemLines& lines, const std::optional<std::string>& source,
                     const std::optional<std::string>& destination);
    void updateItem(const ItemLines& lines, const std::optional<std::string>& source, const std::string& destination,
                    const std::optional<std::string>& bundleVersion);
    // A service workflow installed or updated: the desktop learns its link handler.
    void announceWorkflow(const std::string& workflowPath);
    void runNewestSteps();
    void runOlderSteps();

    std::atomic<bool> isStarted_{true};
    std::thread thread_;
};

}
