#pragma once

#include "platform/Accessibility.h"
#include "platform/memory/AccessibilityTestInterface.h"

#include <mutex>

namespace tvi {

// Accessibility without a system: untrusted at first, with the trust query with options.
// A prompt is counted only when asked for while untrusted, as the system shows it.
class MemoryAccessibility : public Accessibility, public AccessibilityTestInterface {
public:
    bool hasTrustQueryWithOptions() const override;
    bool isProcessTrusted(bool prompt) override;
    bool isAccessibilityApiEnabled() const override;
    bool runScript(const std::string& source) override;
    // The universal-access pane of the system settings, and the system's own notification.
    std::string settingsScript() const override;
    std::string changeNotificationName() const override;

    void setTrusted(bool trusted) override;
    void setHasTrustQueryWithOptions(bool available) override;
    int promptCount() const override;
    std::vector<std::string> scripts() const override;

private:
    mutable std::mutex mutex_;
    bool trusted_ = false;
    bool hasTrustQueryWithOptions_ = true;
    int promptCount_ = 0;
    std::vector<std::string> scripts_;
};

}
