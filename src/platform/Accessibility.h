#pragma once

#include <memory>
#include <string>

namespace tvi {

// The right of this process to send input to other applications. Older systems have no
// trust query with options, only a global switch, and are asked for access by a script
// that opens the system's settings.
// Threads: called on the main thread only; no callbacks (a change of the grant arrives as
// the distributed notification named by changeNotificationName(), on the main queue).
class Accessibility {
public:
    static constexpr const char* serviceName = "Accessibility";

    virtual ~Accessibility() = default;

    // Whether isProcessTrusted is offered; otherwise use isAccessibilityApiEnabled.
    virtual bool hasTrustQueryWithOptions() const = 0;
    // With `prompt`, the system asks the user to grant access, but only while the
    // process is not trusted yet; without it, nothing is shown.
    virtual bool isProcessTrusted(bool prompt) = 0;
    // The older, process-independent query; never prompts.
    virtual bool isAccessibilityApiEnabled() const = 0;
    // Runs a script of the platform's scripting language; false when it failed.
    virtual bool runScript(const std::string& source) = 0;
    // The script that opens the settings where access is granted, for systems without the
    // trust query with options.
    virtual std::string settingsScript() const = 0;
    // The distributed notification posted when access is granted or withdrawn.
    virtual std::string changeNotificationName() const = 0;
};

}
