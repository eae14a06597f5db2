#include "platform/memory/MemoryAlerts.h"

#include "diagnostics/DDLogMacros.h"

#include <optional>

namespace tvi {

AlertResponse MemoryAlerts::runModal(const Alert& alert)
{
    std::optional<AlertResponse> scripted;
    {
        std::lock_guard lock(mutex_);
        shown_.push_back(alert);
        if (!answers_.empty()) {
            scripted = answers_.front();
            answers_.pop_front();
        }
    }
    const std::size_t buttonCount = alert.buttons.empty() ? 1 : alert.buttons.size();
    const std::string firstButton = alert.buttons.empty() ? "OK" : alert.buttons.front();
    if (!scripted) {
        DDLogInfo("%@: No answer scripted for alert \"%@\"; answering with its first button \"%@\"",
                  alert.messageText, firstButton);
        return {};
    }
    if (scripted->button >= buttonCount) {
        // A script written for another alert: answer as a person pressing Return would.
        DDLogWarn("%@: Scripted answer %lu does not exist in alert \"%@\"; answering with its first button \"%@\"",
                  scripted->button, alert.messageText, firstButton);
        scripted->button = 0;
    }
    if (!alert.showsSuppressionButton) scripted->suppressed = false;
    return *scripted;
}

void MemoryAlerts::queueAnswer(AlertResponse answer)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<Alert> MemoryAlerts::shownAlerts() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

void MemoryAlerts::reset()
{
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

}
