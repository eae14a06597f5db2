#include "foundation/SerialQueue.h"

#include "foundation/DispatchPool.h"
#include "foundation/QueueContext.h"

#include <asio/steady_timer.hpp>

namespace tvi {

SerialQueue::SerialQueue(std::string label) : DispatchQueue(std::move(label)) {}

void SerialQueue::async(Task task)
{
    bool start = false;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(task), nullptr});
        start = !active_;
        active_ = true;
    }
    if (start)
        schedule();
}

void SerialQueue::after(Duration delay, Task task)
{
    auto timer = std::make_shared<asio::steady_timer>(DispatchPool::shared().context(), delay);
    auto self = std::static_pointer_cast<SerialQueue>(shared_from_this());
    timer->async_wait([timer, self, task = std::move(task)](const std::error_code& error) mutable {
        if (!error)
            self->async(std::move(task));
    });
}

void SerialQueue::schedule()
{
    auto self = std::static_pointer_cast<SerialQueue>(shared_from_this());
    DispatchPool::shared().post([self] { self->drain(); });
}

void SerialQueue::drain()
{
    for (int done = 0; done < drainBatch; ++done) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                active_ = false;
                return;
            }
            item = std::move(items_.front());
            items_.pop_front();
        }
        if (item.waiter) {
            // The sync caller owns the queue now and drains it again when done.
            grant(*item.waiter);
            return;
        }
        QueueContext::runGuarded(this, item.task);
    }
    // Still active: let other queues' jobs run before continuing.
    schedule();
}

void SerialQueue::runSync(const Task& task)
{
    Waiter waiter;
    if (!acquireOrEnqueue(waiter))
        waitForTurn(waiter);
    Ownership ownership(*this);
    QueueContext::Scope scope(this);
    task();
}

bool SerialQueue::acquireOrEnqueue(Waiter& waiter)
{
    // One lock for both: the queue must not go idle between the test and the queueing.
    std::lock_guard lock(mutex_);
    if (active_) {
        items_.push_back(Item{Task(), &waiter});
        return false;
    }
    active_ = true;
    return true;
}

void SerialQueue::waitForTurn(Waiter& waiter)
{
    DispatchPool::BlockingScope blocking;
    std::unique_lock lock(waiter.mutex);
    waiter.turn.wait(lock, [&waiter] { return waiter.granted; });
}

void SerialQueue::grant(Waiter& waiter)
{
    // Notified under the lock: the waiter (on its stack) may vanish right after.
    std::lock_guard lock(waiter.mutex);
    waiter.granted = true;
    waiter.turn.notify_one();
}

void SerialQueue::release()
{
    {
        std::lock_guard lock(mutex_);
        if (items_.empty()) {
            active_ = false;
            return;
        }
    }
    schedule();
}

}
