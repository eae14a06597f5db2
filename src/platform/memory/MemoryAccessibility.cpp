#include "platform/memory/MemoryAccessibility.h"

namespace tvi {

bool MemoryAccessibility::hasTrustQueryWithOptions() const
{
    std::lock_guard lock(mutex_);
    return hasTrustQueryWithOptions_;
}

bool MemoryAccessibility::isProcessTrusted(bool prompt)
{
    std::lock_guard lock(mutex_);
    if (prompt && !trusted_) ++promptCount_;
    return trusted_;
}

bool MemoryAccessibility::isAccessibilityApiEnabled() const
{
    std::lock_guard lock(mutex_);
    return trusted_;
}

bool MemoryAccessibility::runScript(const std::string& source)
{
    std::lock_guard lock(mutex_);
    scripts_.push_back(source);
    return true;
}

std::string MemoryAccessibility::settingsScript() const
{
    return "tell application \"System Preferences\"\n"
           "activate\n"
           "set current pane to pane \"com.apple.preference.universalaccess\"\n"
           "end tell";
}

std::string MemoryAccessibility::changeNotificationName() const
{
    return "com.apple.accessibility.api";
}

void MemoryAccessibility::setTrusted(bool trusted)
{
    std::lock_guard lock(mutex_);
    trusted_ = trusted;
}

void MemoryAccessibility::setHasTrustQueryWithOptions(bool available)
{
    std::lock_guard lock(mutex_);
    hasTrustQueryWithOptions_ = available;
}

int MemoryAccessibility::promptCount() const
{
    std::lock_guard lock(mutex_);
    return promptCount_;
}

std::vector<std::string> MemoryAccessibility::scripts() const
{
    std::lock_guard lock(mutex_);
    return scripts_;
}

}
