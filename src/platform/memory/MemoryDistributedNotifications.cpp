#include "platform/memory/MemoryDistributedNotifications.h"

#include "foundation/DispatchQueue.h"

#include <algorithm>
#include <atomic>

namespace tvi {

struct MemoryDistributedNotifications::Observation {
    const void* owner;
    std::string name;
    Handler handler;
    // Set on removal, checked on the main queue right before the call: a delivery queued
    // before the removal must not reach an owner that may be gone.
    std::atomic<bool> removed{false};
};

void MemoryDistributedNotifications::addObserver(const void* owner, const std::string& name, Handler handler)
{
    if (!handler) return;
    auto observation = std::make_shared<Observation>();
    observation->owner = owner;
    observation->name = name;
    observation->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    observations_.push_back(std::move(observation));
}

void MemoryDistributedNotifications::removeObserversForOwner(const void* owner)
{
    if (!owner) return;
    std::lock_guard lock(mutex_);
    auto removed = std::stable_partition(observations_.begin(), observations_.end(),
                                         [owner](const auto& observation) { return observation->owner != owner; });
    for (auto it = removed; it != observations_.end(); ++it) (*it)->removed = true;
    observations_.erase(removed, observations_.end());
}

void MemoryDistributedNotifications::postNotification(const std::string& name, const std::optional<std::string>& object)
{
    {
        std::lock_guard lock(mutex_);
        posted_.emplace_back(name, object);
    }
    deliver(name, object);
}

void MemoryDistributedNotifications::postFromAnotherProcess(const std::string& name,
                                                            const std::optional<std::string>& object)
{
    deliver(name, object);
}

void MemoryDistributedNotifications::deliver(const std::string& name, const std::optional<std::string>& object)
{
    std::vector<std::shared_ptr<Observation>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& observation : observations_)
            if (observation->name == name) receivers.push_back(observation);
    }
    for (auto& receiver : receivers) {
        DispatchQueue::main()->async([receiver, name, object] {
            if (!receiver->removed) receiver->handler(name, object);
        });
    }
}

std::vector<std::pair<std::string, std::optional<std::string>>> MemoryDistributedNotifications::postedNotifications() const
{
    std::lock_guard lock(mutex_);
    return posted_;
}

std::size_t MemoryDistributedNotifications::observerCount(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(observations_.begin(), observations_.end(),
                                                  [&name](const auto& observation) { return observation->name == name; }));
}

}
