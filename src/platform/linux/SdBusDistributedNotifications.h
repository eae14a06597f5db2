#pragma once

#include "platform/DistributedNotifications.h"

#include <memory>
#include <mutex>
#include <vector>

#include <systemd/sd-bus.h>

namespace tvi {

class SdBusConnection;

// Distributed notifications as a signal on the session bus, so that any program of the
// session can post one (gdbus emit, dbus-send) and every observer sees it, this process
// included. One signal per notification:
//   path /com/orvella/Telvora/Notifications, interface com.orvella.Telvora.DistributedNotifications,
//   member Post, arguments (name) when the object is absent, (name, object) when it is present.
// Absent and empty objects thus stay apart, and a sender names the object only when it has one.
class SdBusDistributedNotifications : public DistributedNotifications {
public:
    static constexpr const char* kObjectPath = "/com/orvella/Telvora/Notifications";
    static constexpr const char* kInterface = "com.orvella.Telvora.DistributedNotifications";
    static constexpr const char* kMember = "Post";

    // nullptr (with the reason in `why`) without a session bus.
    static std::shared_ptr<SdBusDistributedNotifications> create(std::string& why);
    ~SdBusDistributedNotifications() override;

    void addObserver(const void* owner, const std::string& name, Handler handler) override;
    void removeObserversForOwner(const void* owner) override;
    void postNotification(const std::string& name, const std::optional<std::string>& object) override;

    struct Posted {
        std::string name;
        std::optional<std::string> object;
    };
    // The notification a Post signal carries; nothing for a signature other than "s" or "ss".
    static std::optional<Posted> decode(sd_bus_message* message);

private:
    struct Observation;

    explicit SdBusDistributedNotifications(std::shared_ptr<SdBusConnection> connection);
    static int onSignal(sd_bus_message* message, void* self, sd_bus_error* error);
    void deliver(const Posted& posted);

    std::shared_ptr<SdBusConnection> connection_;
    sd_bus_slot* match_ = nullptr;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Observation>> observations_;
};

}
