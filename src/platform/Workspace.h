#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

struct RunningApplication {
    std::string bundleIdentifier;
    std::int64_t processIdentifier = 0;
    bool operator==(const RunningApplication&) const = default;
};

// The running applications of the user's session and which one is in front.
// Threads: the queries are called from any one thread at a time (the capture asks off the main
// thread). Workspace-change listeners are added and removed on the main thread and run there
// in desktop mode (the X11 backend follows Qt's events), on the switching thread in memory.
// They must return quickly and must not add or remove listeners.
class Workspace {
public:
    static constexpr const char* serviceName = "Workspace";
    using ChangeListener = std::function<void()>;
    using ListenerToken = std::uint64_t;

    virtual ~Workspace() = default;

    // Whether this session can tell and change which application is in front.
    virtual bool isAvailable() const = 0;
    // Absent when no application is in front or the one in front has no identifier.
    virtual std::optional<std::string> frontmostApplicationBundleIdentifier() const = 0;
    // The running instances with that identifier, in the system's order.
    virtual std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(
        const std::string& bundleIdentifier) const = 0;
    // Brings the application in front; false when it no longer runs or refused.
    virtual bool activateApplication(const RunningApplication& application) = 0;

    // Calls `listener` each time the user switches to another workspace (virtual desktop)
    // until it is removed; where the session cannot tell, never.
    virtual ListenerToken addWorkspaceChangeListener(ChangeListener listener) = 0;
    // Once it returns, the listener is not running and is never called again.
    virtual void removeWorkspaceChangeListener(ListenerToken token) = 0;
};

}
