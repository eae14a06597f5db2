#include "foundation/DispatchSemaphore.h"

#include "foundation/DispatchPool.h"

namespace tvi {

DispatchSemaphore::DispatchSemaphore(long count) : count_(count) {}

void DispatchSemaphore::wait()
{
    std::unique_lock lock(mutex_);
    if (count_ <= 0) {
        DispatchPool::BlockingScope blocking;
        cv_.wait(lock, [this] { return count_ > 0; });
    }
    --count_;
}

bool DispatchSemaphore::waitFor(std::chrono::steady_clock::duration timeout)
{
    std::unique_lock lock(mutex_);
    if (count_ <= 0) {
        DispatchPool::BlockingScope blocking;
        if (!cv_.wait_for(lock, timeout, [this] { return count_ > 0; }))
            return false;
    }
    --count_;
    return true;
}

void DispatchSemaphore::signal()
{
    std::lock_guard lock(mutex_);
    ++count_;
    cv_.notify_one();
}

}
