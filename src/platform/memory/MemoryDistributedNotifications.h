#pragma once

#include "platform/DistributedNotifications.h"
#include "platform/memory/DistributedNotificationsTestInterface.h"

#include <mutex>
#include <vector>

namespace tvi {

// Distributed notifications within this process: a post reaches the observers registered
// at that moment, each handler call queued on the main queue in posting order.
class MemoryDistributedNotifications : public DistributedNotifications, public DistributedNotificationsTestInterface {
public:
    void addObserver(const void* owner, const std::string& name, Handler handler) override;
    void removeObserversForOwner(const void* owner) override;
    void postNotification(const std::string& name, const std::optional<std::string>& object) override;

    void postFromAnotherProcess(const std::string& name, const std::optional<std::string>& object) override;
    std::vector<std::pair<std::string, std::optional<std::string>>> postedNotifications() const override;
    std::size_t observerCount(const std::string& name) const override;

private:
    struct Observation;

    void deliver(const std::string& name, const std::optional<std::string>& object);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Observation>> observations_;
    std::vector<std::pair<std::string, std::optional<std::string>>> posted_;
};

}
