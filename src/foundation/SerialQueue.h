#pragma once

#include "foundation/DispatchQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace tvi {

// A serial queue over the shared DispatchPool. At most one drain job per queue is
// scheduled at a time ("active"), which makes the tasks run one after another.
// sync() works like GCD's: the caller queues a marker, waits until the queue
// reaches it and then runs the task on its own thread while it owns the queue.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label);

    void async(Task task) override;
    void after(Duration delay, Task task) override;

protected:
    void runSync(const Task& task) override;

private:
    // A sync() caller waiting for its turn.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable turn;
        bool granted = false;
    };
    struct Item {
        Task task;
        Waiter* waiter = nullptr;
    };
    // Gives the queue back after a sync task: drains what arrived meanwhile.
    class Ownership {
    public:
        explicit Ownership(SerialQueue& queue) : queue_(queue) {}
        ~Ownership() { queue_.release(); }
        Ownership(const Ownership&) = delete;
        Ownership& operator=(const Ownership&) = delete;

    private:
        SerialQueue& queue_;
    };

    // Tasks run per drain job before the worker is handed to other queues.
    static constexpr int drainBatch = 32;

    void schedule();
    void drain();
    // True when the queue was idle and is now the caller's; else queues the waiter.
    bool acquireOrEnqueue(Waiter& waiter);
    void waitForTurn(Waiter& waiter);
    void release();
    static void grant(Waiter& waiter);

    std::mutex mutex_;
    std::deque<Item> items_;
    bool active_ = false;
};

}
