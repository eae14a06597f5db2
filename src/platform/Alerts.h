#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tvi {

enum class AlertStyle { Warning, Informational, Critical };

// One modal alert. Buttons are listed left to right as the user reads them, the first
// being the default (Return) button; an alert without buttons gets one "OK" button.
struct Alert {
    AlertStyle alertStyle = AlertStyle::Warning;
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;
    // A check box under the texts ("Do not show this message again" and the like).
    bool showsSuppressionButton = false;
    std::string suppressionButtonTitle; // empty: the platform's own wording
};

// How the user dismissed an alert.
struct AlertResponse {
    std::size_t button = 0;  // index into Alert::buttons
    bool suppressed = false; // the suppression check box was ticked (false when not shown)
    bool operator==(const AlertResponse&) const = default;
};

// Modal alerts. Threads: called on the main thread only; returns once the user has dismissed
// the alert. A desktop backend runs a nested event loop meanwhile, in which the main queue
// runs no task: tasks queued during the alert wait until the task that showed it has ended.
class Alerts {
public:
    static constexpr const char* serviceName = "Alerts";

    virtual ~Alerts() = default;

    virtual AlertResponse runModal(const Alert& alert) = 0;
};

}
