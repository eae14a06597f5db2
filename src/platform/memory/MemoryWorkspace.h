#pragma once

#include "platform/PasteboardChangeListeners.h"
#include "platform/Workspace.h"
#include "platform/memory/WorkspaceTestInterface.h"

#include <mutex>

namespace tvi {

// A workspace held in memory: nothing runs and nothing is in front at first. Activating
// a running application puts it in front.
class MemoryWorkspace : public Workspace, public WorkspaceTestInterface {
public:
    bool isAvailable() const override;
    std::optional<std::string> frontmostApplicationBundleIdentifier() const override;
    std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(
        const std::string& bundleIdentifier) const override;
    bool activateApplication(const RunningApplication& application) override;
    ListenerToken addWorkspaceChangeListener(ChangeListener listener) override;
    void removeWorkspaceChangeListener(ListenerToken token) override;

    void setFrontmostApplication(std::optional<std::string> bundleIdentifier) override;
    void setRunningApplications(std::vector<RunningApplication> applications) override;
    std::vector<RunningApplication> activations() const override;
    void setAvailable(bool available) override;
    void switchWorkspace() override;

private:
    mutable std::mutex mutex_;
    std::optional<std::string> frontmost_;
    std::vector<RunningApplication> running_;
    std::vector<RunningApplication> activations_;
    bool available_ = true;
    // The same list as a pasteboard's: tokens and listeners are the same types.
    PasteboardChangeListeners changeListeners_;
};

}
