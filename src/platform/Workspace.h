#pragma once

#include <cstdint>
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
// Threads: called from any one thread at a time (the capture asks off the main thread); no
// callbacks.
class Workspace {
public:
    static constexpr const char* serviceName = "Workspace";

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
};

}
