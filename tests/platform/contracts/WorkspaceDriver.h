#pragma once

#include "platform/Workspace.h"

#include <memory>
#include <string>

namespace tvi::test {

// The world around one workspace backend, for WorkspaceContract: applications the user starts.
class WorkspaceDriver {
public:
    virtual ~WorkspaceDriver() = default;

    // The backend under test, fresh for each case.
    virtual std::shared_ptr<Workspace> workspace() = 0;
    // Starts an application with that identifier, showing a window; answers it as the
    // workspace is to list it.
    virtual RunningApplication launch(const std::string& bundleIdentifier) = 0;
};

}
