#include "foundation/HeadlessRunLoop.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
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
    {
        std::lock_guard lock(mutex_);
        if (!successor_) {
            ready_.push_back(std::move(task));
            asio::post(io_, [this] { runNext(); });
            return;
        }
    }
    successor_->post(std::move(task));
}

void HeadlessRunLoop::postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (!successor_) {
            id = ++nextDelayedId_;
            delayed_.emplace(id, Delayed{Clock::now() + delay, std::move(task)});
        }
    }
    if (id == 0) return successor_->postAfter(delay, std::move(task));
    auto timer = std::make_shared<asio::steady_timer>(io_, delay);
    timer->async_wait([this, timer, id](const std::error_code& error) {
        if (!error) runDelayed(id);
    });
}

// One wake-up per posted task; after a hand-over the wake-ups find nothing left to run.
void HeadlessRunLoop::runNext()
{
    DispatchQueue::Task task;
    {
        std::lock_guard lock(mutex_);
        if (ready_.empty()) return;
        task = std::move(ready_.front());
        ready_.pop_front();
    }
    task();
}

void HeadlessRunLoop::runDelayed(std::uint64_t id)
{
    DispatchQueue::Task task;
    {
        std::lock_guard lock(mutex_);
        const auto it = delayed_.find(id);
        if (it == delayed_.end()) return;
        task = std::move(it->second.task);
        delayed_.erase(it);
    }
    task();
}

void HeadlessRunLoop::handOverTo(MainRunLoop& successor)
{
    // Under the lock: a post racing with the hand-over must queue behind the moved tasks.
    std::lock_guard lock(mutex_);
    successor_ = &successor;
    for (auto& task : ready_) successor.post(std::move(task));
    ready_.clear();
    const auto now = Clock::now();
    for (auto& [id, entry] : delayed_)
        successor.postAfter(std::max(Clock::duration::zero(), entry.due - now), std::move(entry.task));
    delayed_.clear();
}

}
