#pragma once

#include "platform/Workspace.h"

#include <optional>
#include <string>
#include <vector>

namespace tvi {

// What tests may change and look at in the in-memory workspace.
class WorkspaceTestInterface {
public:
    virtual ~WorkspaceTestInterface() = default;
    // Absent: nothing (or nothing with an identifier) in front.
    virtual void setFrontmostApplication(std::optional<std::string> bundleIdentifier) = 0;
    // Every running application, in the order the system lists them.
    virtual void setRunningApplications(std::vector<RunningApplication> applications) = 0;
    // The applications activated so far, oldest first.
    virtual std::vector<RunningApplication> activations() const = 0;
    virtual void setAvailable(bool available) = 0;
    // The user switches to another workspace: the change listeners run on this thread.
    virtual void switchWorkspace() = 0;
};

}
