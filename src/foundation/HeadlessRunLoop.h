#pragma once

#include "foundation/MainRunLoop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <atomic>

namespace tvi {

// The main run loop without a GUI toolkit: an io_context served by run().
// Tasks posted before run() wait for it; after stop() the next run() serves again.
class HeadlessRunLoop final : public MainRunLoop {
public:
    HeadlessRunLoop();

    void run() override;
    void stop() override;
    void restart() override;
    void post(DispatchQueue::Task task) override;
    void postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task) override;

private:
    void serveUntilStopped();

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::atomic<bool> running_{false};
};

}
