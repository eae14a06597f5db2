#pragma once

#include "foundation/Notification.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvi {

// Delivers notifications synchronously, on the posting thread, to the observers
// registered for their name (and sender, when one was given).
//
// Removal: once removeObserver returns, the handler is never started again; when the
// caller is not itself inside a handler of a notification, removeObserver also waits
// for calls of that handler still running on other threads. A handler may remove itself
// or other observers; it is then not waited for (this is what keeps two handlers that
// remove each other from blocking one another).
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    // 0 is never a valid token.
    using ObserverToken = std::uint64_t;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process's default centre.
    static NotificationCenter& defaultCenter();

    // An empty name observes every notification; a null object observes every sender.
    // The owner groups observations for removeObserversForOwner.
    ObserverToken addObserver(const std::string& name, const void* object, Handler handler,
                              const void* owner = nullptr);
    void removeObserver(ObserverToken token);
    // Removes every observation made with this owner; a null owner removes nothing.
    void removeObserversForOwner(const void* owner);

    void post(const Notification& notification);
    void post(const std::string& name, const void* object = nullptr, PlistDictionary userInfo = {});

private:
    class Observation;
    using ObservationPtr = std::shared_ptr<Observation>;

    std::vector<ObservationPtr> matching(const Notification& notification) const;
    ObservationPtr detach(ObserverToken token);

    mutable std::mutex mutex_;
    std::vector<ObservationPtr> observations_;
    ObserverToken nextToken_ = 1;
};

}
