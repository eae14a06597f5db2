#pragma once

#include "foundation/DispatchQueue.h"

#include <memory>

namespace tvi {

// What serves the main queue. The headless engine is ours; the desktop backend
// installs one that drives the main queue from the GUI toolkit's event loop.
class MainRunLoop {
public:
    virtual ~MainRunLoop() = default;

    // Runs main-queue tasks on the calling thread (the main thread) until stop().
    virtual void run() = 0;
    // Makes run() return after the task it is running, from any thread. A stop()
    // that arrives while run() is not running makes the next run() return at once.
    virtual void stop() = 0;
    // Discards a pending stop() so that the next run() serves tasks again.
    virtual void restart() {}
    // Queues a task for the main thread (used by the main DispatchQueue).
    virtual void post(DispatchQueue::Task task) = 0;
    virtual void postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task) = 0;

    // The installed run loop (the headless one unless another was installed).
    static MainRunLoop& shared();
    // Replaces the run loop; only before the main queue is first used.
    static void install(std::unique_ptr<MainRunLoop> loop);
};

}
