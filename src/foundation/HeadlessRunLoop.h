#pragma once

#include "foundation/MainRunLoop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

namespace tvi {

// The main run loop without a GUI toolkit: an io_context served by run().
// Tasks posted before run() wait for it; after stop() the next run() serves again.
// Tasks are kept in its own lists (the io_context only carries wake-ups), so that a
// loop installed in its place can take them over.
class HeadlessRunLoop final : public MainRunLoop {
public:
    HeadlessRunLoop();

    void run() override;
    void stop() override;
    void restart() override;
    void post(DispatchQueue::Task task) override;
    void postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task) override;
    void handOverTo(MainRunLoop& successor) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Delayed {
        Clock::time_point due;
        DispatchQueue::Task task;
    };

    void serveUntilStopped();
    void runNext();
    void runDelayed(std::uint64_t id);

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::atomic<bool> running_{false};

    std::mutex mutex_;
    std::deque<DispatchQueue::Task> ready_;
    std::map<std::uint64_t, Delayed> delayed_;
    std::uint64_t nextDelayedId_ = 0;
    MainRunLoop* successor_ = nullptr; // set once handed over
};

}
