#pragma once

#include "foundation/DispatchTimer.h"

#include <asio/steady_timer.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tvi {

// The DispatchTimer: an asio timer on the dispatch pool that queues each firing
// on the target queue. While armed, the timer keeps itself alive (like a scheduled
// NSTimer); a repeating timer therefore lives until invalidated.
class QueueTimer final : public DispatchTimer {
public:
    QueueTimer(DispatchQueuePtr queue, DispatchQueue::Duration interval, bool repeats, std::function<void()> handler);

    void start();
    void invalidate() override;
    bool isValid() const override;

private:
    // Handlers that run on another thread are awaited by invalidate().
    bool runningElsewhere() const;
    void arm();
    void expired(const std::error_code& error);
    void fire();
    bool beginFiring();
    std::function<void()> endFiring();

    DispatchQueuePtr queue_;
    DispatchQueue::Duration interval_;
    bool repeats_;
    std::function<void()> handler_;
    asio::steady_timer timer_;
    std::chrono::steady_clock::time_point deadline_;

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool valid_ = true;
    bool running_ = false;
    std::thread::id runningThread_;
};

}
