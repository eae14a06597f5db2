#pragma once

#include "platform/Alerts.h"
#include "platform/memory/AlertsTestInterface.h"

#include <deque>
#include <mutex>

namespace tvi {

// Alerts without a screen: each alert is recorded and answered with the next scripted
// answer; with none scripted (a headless run) it is answered with its first button, and
// the log says so, so that no run ever waits for a person.
class MemoryAlerts : public Alerts, public AlertsTestInterface {
public:
    AlertResponse runModal(const Alert& alert) override;

    void queueAnswer(AlertResponse answer) override;
    std::vector<Alert> shownAlerts() const override;
    void reset() override;

private:
    mutable std::mutex mutex_;
    std::deque<AlertResponse> answers_;
    std::vector<Alert> shown_;
};

}
