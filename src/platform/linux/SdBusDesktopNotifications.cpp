#include "platform/linux/SdBusDesktopNotifications.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/linux/SdBusConnection.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace tvi {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kApplicationName = "Telvora";
// The server's own default display time.
constexpr std::int32_t kDefaultExpiry = -1;

int onNotifyReply(sd_bus_message* reply, void*, sd_bus_error*)
{
    if (const sd_bus_error* error = sd_bus_message_get_error(reply))
        DDLogWarn("%@: The desktop did not show the notification: %@",
                  std::string(error->message ? error->message : error->name));
    return 0;
}

}

std::shared_ptr<SdBusDesktopNotifications> SdBusDesktopNotifications::create(std::string& why)
{
    auto connection = SdBusConnection::session(why);
    if (!connection) return nullptr;
    return std::shared_ptr<SdBusDesktopNotifications>(new SdBusDesktopNotifications(std::move(connection)));
}

SdBusDesktopNotifications::SdBusDesktopNotifications(std::shared_ptr<SdBusConnection> connection)
    : connection_(std::move(connection))
{
}

void SdBusDesktopNotifications::show(const std::string& title, const std::string& body)
{
    connection_->post([title, body](sd_bus* bus) {
        // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
        const int r = sd_bus_call_method_async(bus, nullptr, kService, kPath, kService, "Notify", &onNotifyReply,
                                               nullptr, "susssasa{sv}i", kApplicationName, std::uint32_t(0), "",
                                               title.c_str(), body.c_str(), 0u, 0u, kDefaultExpiry);
        if (r < 0) DDLogWarn("%@: Could not ask the desktop to show a notification: %@", std::string(std::strerror(-r)));
    });
}

}
