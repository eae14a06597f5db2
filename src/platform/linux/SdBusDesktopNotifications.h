#pragma once

#include "platform/DesktopNotifications.h"

#include <memory>
#include <string>

namespace tvi {

class SdBusConnection;

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications.Notify on the session bus). The call is asynchronous; a
// desktop without the service answers with an error, which is logged.
class SdBusDesktopNotifications : public DesktopNotifications {
public:
    // nullptr (with the reason in `why`) without a session bus.
    static std::shared_ptr<SdBusDesktopNotifications> create(std::string& why);

    void show(const std::string& title, const std::string& body) override;

private:
    explicit SdBusDesktopNotifications(std::shared_ptr<SdBusConnection> connection);

    std::shared_ptr<SdBusConnection> connection_;
};

}
