#pragma once

#include "platform/Alerts.h"

#include <vector>

namespace tvi {

// What tests may script and look at in the in-memory alerts.
class AlertsTestInterface {
public:
    virtual ~AlertsTestInterface() = default;
    // The answer to the next alert; answers are used in the order queued.
    virtual void queueAnswer(AlertResponse answer) = 0;
    // Every alert shown so far, oldest first.
    virtual std::vector<Alert> shownAlerts() const = 0;
    // Forgets the shown alerts and any answers not used yet.
    virtual void reset() = 0;
};

}
