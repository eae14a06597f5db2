#include "foundation/QueueTimer.h"

#include "foundation/DispatchPool.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace tvi {

namespace {
// Like NSTimer: a non-positive interval would make a repeating timer spin.
constexpr DispatchQueue::Duration shortestInterval = std::chrono::microseconds(100);
}

std::shared_ptr<DispatchTimer> DispatchTimer::scheduled(DispatchQueuePtr queue, DispatchQueue::Duration interval,
                                                        bool repeats, std::function<void()> handler)
{
    if (!queue)
        queue = DispatchQueue::main();
    auto timer = std::make_shared<QueueTimer>(std::move(queue), interval, repeats, std::move(handler));
    timer->start();
    return timer;
}

QueueTimer::QueueTimer(DispatchQueuePtr queue, DispatchQueue::Duration interval, bool repeats,
                       std::function<void()> handler)
    : queue_(std::move(queue)),
      interval_(std::max(interval, shortestInterval)),
      repeats_(repeats),
      handler_(std::move(handler)),
      timer_(DispatchPool::shared().context())
{
}

void QueueTimer::start()
{
    std::lock_guard lock(mutex_);
    deadline_ = std::chrono::steady_clock::now();
    arm();
}

void QueueTimer::arm()
{
    // Ticks missed while the queue was busy are dropped, not delivered in a burst.
    deadline_ = std::max(deadline_ + interval_, std::chrono::steady_clock::now());
    timer_.expires_at(deadline_);
    auto self = std::static_pointer_cast<QueueTimer>(shared_from_this());
    timer_.async_wait([self](const std::error_code& error) { self->expired(error); });
}

void QueueTimer::expired(const std::error_code& error)
{
    if (error)
        return;
    auto self = std::static_pointer_cast<QueueTimer>(shared_from_this());
    queue_->async([self] { self->fire(); });
}

void QueueTimer::fire()
{
    if (!beginFiring())
        return;
    try {
        handler_();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Telvora: uncaught exception in a timer handler: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Telvora: uncaught exception in a timer handler\n");
    }
    // Destroyed outside the lock: its captures may run arbitrary code.
    std::function<void()> released = endFiring();
}

bool QueueTimer::beginFiring()
{
    // Checked and marked running in one step, so that invalidate() either sees the
    // handler running (and waits) or prevents it from starting.
    std::lock_guard lock(mutex_);
    if (!valid_)
        return false;
    if (!repeats_)
        valid_ = false;
    running_ = true;
    runningThread_ = std::this_thread::get_id();
    return true;
}

std::function<void()> QueueTimer::endFiring()
{
    std::function<void()> released;
    std::lock_guard lock(mutex_);
    running_ = false;
    if (valid_)
        arm();
    else
        released = std::move(handler_);
    idle_.notify_all();
    return released;
}

void QueueTimer::invalidate()
{
    std::function<void()> released;
    {
        std::unique_lock lock(mutex_);
        valid_ = false;
        timer_.cancel();
        if (runningElsewhere()) {
            DispatchPool::BlockingScope blocking;
            idle_.wait(lock, [this] { return !running_; });
        }
        // A handler running on this thread (invalidate from inside it) is released
        // by endFiring() once it returns.
        if (!running_)
            released = std::move(handler_);
    }
}

bool QueueTimer::runningElsewhere() const
{
    return running_ && runningThread_ != std::this_thread::get_id();
}

bool QueueTimer::isValid() const
{
    std::lock_guard lock(mutex_);
    return valid_;
}

}
