#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

// The session-wide notification channel between processes (Telvora and its companions).
// A notification is a name with an optional text object; observers see it from any sender,
// this process included. Threads: any thread may add, post or remove (removal's guarantee
// below holds when called on the main thread); handlers run on the main queue.
class DistributedNotifications {
public:
    static constexpr const char* serviceName = "DistributedNotifications";

    using Handler = std::function<void(const std::string& name, const std::optional<std::string>& object)>;

    virtual ~DistributedNotifications() = default;

    // The owner groups observations for removeObserversForOwner; it is never dereferenced.
    virtual void addObserver(const void* owner, const std::string& name, Handler handler) = 0;
    // Removes every observation made with this owner; a null owner removes nothing. Called on
    // the main thread, no handler of these observations starts afterwards, even for
    // notifications posted before.
    virtual void removeObserversForOwner(const void* owner) = 0;
    // Posts for immediate delivery to every observer of the name.
    virtual void postNotification(const std::string& name, const std::optional<std::string>& object) = 0;
};

}
