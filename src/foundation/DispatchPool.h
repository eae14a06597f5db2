#pragma once

// A standard header first: asio picks its aligned allocator by a libstdc++ macro, and
// translation units that disagree pair aligned_alloc with operator delete.
#include <cstddef>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <functional>
#include <mutex>

namespace tvi {

// The process-wide worker threads under every serial queue and timer.
// It starts small and adds a worker whenever waiting tasks would otherwise leave
// fewer than two workers free, so a task that blocks in sync(), a group or a
// semaphore cannot starve the tasks it waits for. It is never destroyed: queues
// are still served while at-exit handlers (the log flush) run.
class DispatchPool {
public:
    static DispatchPool& shared();

    asio::io_context& context() { return io_; }
    void post(std::function<void()> job);

    // Declares that the calling thread is about to block; on a worker this may add
    // a worker for the duration. Harmless on other threads.
    class BlockingScope {
    public:
        BlockingScope();
        ~BlockingScope();
        BlockingScope(const BlockingScope&) = delete;
        BlockingScope& operator=(const BlockingScope&) = delete;

    private:
        bool counted_;
    };

    int workerCount();

private:
    static constexpr int initialWorkers = 4;
    static constexpr int minimumFreeWorkers = 2;
    static constexpr int maximumWorkers = 64;

    DispatchPool();
    void enterBlocking();
    void leaveBlocking();
    void addWorker();
    void serve();

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::mutex mutex_;
    int workers_ = 0;
    int blocked_ = 0;
};

}
