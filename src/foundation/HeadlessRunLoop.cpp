#include "foundation/HeadlessRunLoop.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace tvi {

HeadlessRunLoop::HeadlessRunLoop() : guard_(asio::make_work_guard(io_)) {}

void HeadlessRunLoop::run()
{
    if (running_.exchange(true)) {
        // Two threads serving the main queue would break its serial order.
        std::fprintf(stderr, "Telvora: fatal: the main run loop is already running on another thread\n");
        std::fflush(stderr);
        std::abort();
    }
    serveUntilStopped();
    // run() only returns once stopped; make the next run() serve again.
    io_.restart();
    running_.store(false);
}

void HeadlessRunLoop::serveUntilStopped()
{
    for (;;) {
        try {
            io_.run();
            return;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Telvora: uncaught exception in a main-thread task: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Telvora: uncaught exception in a main-thread task\n");
        }
    }
}

void HeadlessRunLoop::stop()
{
    io_.stop();
}

void HeadlessRunLoop::restart()
{
    if (!running_.load())
        io_.restart();
}

void HeadlessRunLoop::post(DispatchQueue::Task task)
{
    asio::post(io_, std::move(task));
}

void HeadlessRunLoop::postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task)
{
    auto timer = std::make_shared<asio::steady_timer>(io_, delay);
    timer->async_wait([timer, task = std::move(task)](const std::error_code& error) {
        if (!error)
            task();
    });
}

}
