#include "platform/linux/SdBusDistributedNotifications.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"
#include "platform/linux/SdBusConnection.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tvi {

struct SdBusDistributedNotifications::Observation {
    const void* owner;
    std::string name;
    Handler handler;
    // Set on removal and checked on the main queue right before the call: a delivery
    // queued before the removal must not reach an owner that may be gone.
    std::atomic<bool> removed{false};
};

std::shared_ptr<SdBusDistributedNotifications> SdBusDistributedNotifications::create(std::string& why)
{
    auto connection = SdBusConnection::session(why);
    if (!connection) return nullptr;
    std::shared_ptr<SdBusDistributedNotifications> center(new SdBusDistributedNotifications(connection));
    int result = -ENOTCONN;
    connection->call([&](sd_bus* bus) {
        result = sd_bus_match_signal(bus, &center->match_, nullptr, kObjectPath, kInterface, kMember,
                                     &SdBusDistributedNotifications::onSignal, center.get());
    });
    if (result < 0) {
        why = std::string("cannot watch for notifications on the session bus: ") + std::strerror(-result);
        return nullptr;
    }
    return center;
}

SdBusDistributedNotifications::SdBusDistributedNotifications(std::shared_ptr<SdBusConnection> connection)
    : connection_(std::move(connection))
{
}

SdBusDistributedNotifications::~SdBusDistributedNotifications()
{
    // Off the bus thread before the object goes: the match's callback points at it.
    if (match_) connection_->call([slot = match_](sd_bus*) { sd_bus_slot_unref(slot); });
}

void SdBusDistributedNotifications::addObserver(const void* owner, const std::string& name, Handler handler)
{
    if (!handler) return;
    auto observation = std::make_shared<Observation>();
    observation->owner = owner;
    observation->name = name;
    observation->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    observations_.push_back(std::move(observation));
}

void SdBusDistributedNotifications::removeObserversForOwner(const void* owner)
{
    if (!owner) return;
    std::lock_guard lock(mutex_);
    auto removed = std::stable_partition(observations_.begin(), observations_.end(),
                                         [owner](const auto& observation) { return observation->owner != owner; });
    for (auto it = removed; it != observations_.end(); ++it) (*it)->removed = true;
    observations_.erase(removed, observations_.end());
}

void SdBusDistributedNotifications::postNotification(const std::string& name, const std::optional<std::string>& object)
{
    connection_->post([name, object](sd_bus* bus) {
        const int r = object ? sd_bus_emit_signal(bus, kObjectPath, kInterface, kMember, "ss", name.c_str(), object->c_str())
                             : sd_bus_emit_signal(bus, kObjectPath, kInterface, kMember, "s", name.c_str());
        if (r < 0) DDLogWarn("%@: Could not post %@ on the session bus: %@", name, std::string(std::strerror(-r)));
    });
}

std::optional<SdBusDistributedNotifications::Posted> SdBusDistributedNotifications::decode(sd_bus_message* message)
{
    const char* name = nullptr;
    const char* object = nullptr;
    if (sd_bus_message_has_signature(message, "s") > 0) {
        if (sd_bus_message_read(message, "s", &name) < 0) return std::nullopt;
        return Posted{name, std::nullopt};
    }
    if (sd_bus_message_has_signature(message, "ss") > 0) {
        if (sd_bus_message_read(message, "ss", &name, &object) < 0) return std::nullopt;
        return Posted{name, std::string(object)};
    }
    return std::nullopt;
}

int SdBusDistributedNotifications::onSignal(sd_bus_message* message, void* self, sd_bus_error*)
{
    if (auto posted = decode(message)) {
        static_cast<SdBusDistributedNotifications*>(self)->deliver(*posted);
    } else {
        const char* sender = sd_bus_message_get_sender(message);
        const char* signature = sd_bus_message_get_signature(message, 1);
        DDLogWarn("%@: Ignored a notification from %@ with the arguments (%@) instead of (s) or (ss)",
                  std::string(sender ? sender : "?"), std::string(signature ? signature : ""));
    }
    return 0;
}

void SdBusDistributedNotifications::deliver(const Posted& posted)
{
    std::vector<std::shared_ptr<Observation>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& observation : observations_)
            if (observation->name == posted.name) receivers.push_back(observation);
    }
    for (auto& receiver : receivers) {
        DispatchQueue::main()->async([receiver, posted] {
            if (!receiver->removed) receiver->handler(posted.name, posted.object);
        });
    }
}

}
