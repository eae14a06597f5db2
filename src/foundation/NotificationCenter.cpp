#include "foundation/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace tvi {

namespace {

// How many handlers are running on this thread (of any centre).
thread_local int handlerDepth = 0;

}

// One registration. Tracks the threads running its handler so that removal can wait
// for them, and refuses new calls once removed.
class NotificationCenter::Observation {
public:
    Observation(ObserverToken token, std::string name, const void* object, Handler handler, const void* owner)
        : token(token), name(std::move(name)), object(object), owner(owner), handler_(std::move(handler))
    {
    }

    bool matches(const Notification& notification) const
    {
        return (name.empty() || name == notification.name) && (!object || object == notification.object);
    }

    void deliver(const Notification& notification)
    {
        if (!beginCall()) return;
        struct CallScope {
            Observation& self;
            ~CallScope()
            {
                --handlerDepth;
                self.endCall();
            }
        } scope{*this};
        ++handlerDepth;
        handler_(notification);
    }

    void retire()
    {
        std::unique_lock lock(mutex_);
        removed_ = true;
        if (handlerDepth > 0) return;
        finished_.wait(lock, [this] { return callers_.empty(); });
    }

    const ObserverToken token;
    const std::string name;
    const void* const object;
    const void* const owner;

private:
    bool beginCall()
    {
        std::lock_guard lock(mutex_);
        if (removed_) return false;
        callers_.push_back(std::this_thread::get_id());
        return true;
    }

    void endCall()
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find(callers_.begin(), callers_.end(), std::this_thread::get_id());
        if (it != callers_.end()) callers_.erase(it);
        finished_.notify_all();
    }

    const Handler handler_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<std::thread::id> callers_;
    bool removed_ = false;
};

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(const std::string& name, const void* object,
                                                                  Handler handler, const void* owner)
{
    if (!handler) return 0;
    std::lock_guard lock(mutex_);
    const ObserverToken token = nextToken_++;
    observations_.push_back(std::make_shared<Observation>(token, name, object, std::move(handler), owner));
    return token;
}

NotificationCenter::ObservationPtr NotificationCenter::detach(ObserverToken token)
{
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(observations_.begin(), observations_.end(),
                                 [token](const ObservationPtr& o) { return o->token == token; });
    if (it == observations_.end()) return nullptr;
    ObservationPtr observation = *it;
    observations_.erase(it);
    return observation;
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    if (ObservationPtr observation = detach(token)) observation->retire();
}

void NotificationCenter::removeObserversForOwner(const void* owner)
{
    if (!owner) return;
    std::vector<ObservationPtr> removed;
    {
        std::lock_guard lock(mutex_);
        auto keep = std::stable_partition(observations_.begin(), observations_.end(),
                                          [owner](const ObservationPtr& o) { return o->owner != owner; });
        removed.assign(keep, observations_.end());
        observations_.erase(keep, observations_.end());
    }
    for (const auto& observation : removed) observation->retire();
}

std::vector<NotificationCenter::ObservationPtr> NotificationCenter::matching(const Notification& notification) const
{
    std::vector<ObservationPtr> result;
    std::lock_guard lock(mutex_);
    for (const auto& observation : observations_)
        if (observation->matches(notification)) result.push_back(observation);
    return result;
}

void NotificationCenter::post(const Notification& notification)
{
    // Observers added during this post see the next one; removed ones are skipped.
    for (const auto& observation : matching(notification)) observation->deliver(notification);
}

void NotificationCenter::post(const std::string& name, const void* object, PlistDictionary userInfo)
{
    post(Notification{name, object, std::move(userInfo)});
}

}
