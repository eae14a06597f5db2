#pragma once

#include <string>

namespace tvi {

// Short messages in the desktop's notification area, for what the user should know without
// being interrupted by an alert. Threads: any thread; show() returns at once, and a desktop
// without a notification service only costs a log line.
class DesktopNotifications {
public:
    static constexpr const char* serviceName = "DesktopNotifications";

    virtual ~DesktopNotifications() = default;

    virtual void show(const std::string& title, const std::string& body) = 0;
};

}
