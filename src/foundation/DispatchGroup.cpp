#include "foundation/DispatchGroup.h"

#include "foundation/DispatchPool.h"

#include <cstdio>
#include <cstdlib>

namespace tvi {

void DispatchGroup::enter()
{
    std::lock_guard lock(mutex_);
    ++outstanding_;
}

void DispatchGroup::leave()
{
    std::lock_guard lock(mutex_);
    if (outstanding_ == 0) {
        // A leave without its enter would let wait() return before the work is done.
        std::fprintf(stderr, "Telvora: fatal: DispatchGroup::leave() without a matching enter()\n");
        std::fflush(stderr);
        std::abort();
    }
    if (--outstanding_ == 0)
        cv_.notify_all();
}

void DispatchGroup::async(DispatchQueue& queue, DispatchQueue::Task task)
{
    enter();
    queue.async([this, task = std::move(task)] {
        struct Leave {
            DispatchGroup& group;
            ~Leave() { group.leave(); }
        } leave{*this};
        task();
    });
}

void DispatchGroup::wait()
{
    std::unique_lock lock(mutex_);
    if (outstanding_ == 0)
        return;
    DispatchPool::BlockingScope blocking;
    cv_.wait(lock, [this] { return outstanding_ == 0; });
}

bool DispatchGroup::waitFor(std::chrono::steady_clock::duration timeout)
{
    std::unique_lock lock(mutex_);
    if (outstanding_ == 0)
        return true;
    DispatchPool::BlockingScope blocking;
    return cv_.wait_for(lock, timeout, [this] { return outstanding_ == 0; });
}

}
