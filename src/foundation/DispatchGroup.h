#pragma once

#include "foundation/DispatchQueue.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tvi {

// Tracks outstanding tasks; wait() returns once all have finished. The group must
// outlive the tasks given to async(). A leave() without its enter() aborts.
class DispatchGroup {
public:
    void enter();
    void leave();
    // Runs the task on the queue as a member of this group.
    void async(DispatchQueue& queue, DispatchQueue::Task task);
    void wait();
    bool waitFor(std::chrono::steady_clock::duration timeout);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long outstanding_ = 0;
};

}
