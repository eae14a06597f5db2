#pragma once

#include "platform/Alerts.h"

#include <memory>
#include <string>

namespace tvi {

// Alerts as Qt message boxes: the style's icon, the buttons left to right with the first as
// the default (Return) button, the suppression check box under the texts, the application's
// name as window title. Modal for the whole application; the nested event loop runs no
// main-queue task (see QtMainRunLoop::TaskHold), also when the alert is shown from a window's
// event handler rather than from a task.
class QtAlerts : public Alerts {
public:
    // Needs the QApplication; absent (with the reason) without one.
    static std::shared_ptr<QtAlerts> create(std::string& whyUnavailable);

    AlertResponse runModal(const Alert& alert) override;
};

}
