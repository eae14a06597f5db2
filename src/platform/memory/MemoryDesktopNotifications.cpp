#include "platform/memory/MemoryDesktopNotifications.h"

namespace tvi {

void MemoryDesktopNotifications::show(const std::string& title, const std::string& body)
{
    std::lock_guard lock(mutex_);
    shown_.emplace_back(title, body);
}

std::vector<std::pair<std::string, std::string>> MemoryDesktopNotifications::shown() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

}
