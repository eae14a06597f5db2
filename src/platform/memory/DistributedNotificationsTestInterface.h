#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvi {

// What tests may do and look at in the in-memory distributed notifications.
class DistributedNotificationsTestInterface {
public:
    virtual ~DistributedNotificationsTestInterface() = default;
    // Delivers a notification as if another process (a companion) had posted it.
    virtual void postFromAnotherProcess(const std::string& name, const std::optional<std::string>& object) = 0;
    // What this process posted, oldest first.
    virtual std::vector<std::pair<std::string, std::optional<std::string>>> postedNotifications() const = 0;
    // How many observations of the name are registered.
    virtual std::size_t observerCount(const std::string& name) const = 0;
};

}
