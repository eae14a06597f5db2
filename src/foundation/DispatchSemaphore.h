#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tvi {

// Counting semaphore: wait() blocks while the count is 0.
class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long count);
    void wait();
    // False when the time-out passed first.
    bool waitFor(std::chrono::steady_clock::duration timeout);
    void signal();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long count_;
};

}
