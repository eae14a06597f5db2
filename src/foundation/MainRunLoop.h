#pragma once

#include "foundation/DispatchQueue.h"

#include <cstdint>
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
    // Gives every task not yet run to `successor` (a delayed one keeps its due time) and
    // forwards later posts to it, so that replacing the loop loses nothing. Called by
    // install() on the loop being replaced; a loop that cannot hand over keeps its tasks.
    virtual void handOverTo(MainRunLoop& successor) { (void)successor; }

    // Main-queue tasks queued and finished so far, whatever loop runs them; any thread may read
    // them. A task queued with a delay counts once it starts. Work waits while posted > finished,
    // so a finished count that stands still then means the main thread is stuck.
    struct Progress {
        std::uint64_t posted = 0;
        std::uint64_t finished = 0;
        bool modal = false; // the main thread waits for the user in a nested modal loop
    };
    static Progress progress();
    // Called on the posting thread after every post while set (nullptr: none); it must be
    // quick and must not post. Lets a watcher sleep while the main queue is idle.
    static void setPostObserver(void (*observer)());
    static void notePosted();
    static void noteFinished();
    // Held while a modal alert runs its nested loop: waiting for the user is no hang.
    class ModalSection {
    public:
        ModalSection();
        ~ModalSection();
        ModalSection(const ModalSection&) = delete;
        ModalSection& operator=(const ModalSection&) = delete;
    };

    // The installed run loop (the headless one unless another was installed).
    static MainRunLoop& shared();
    // Replaces the run loop, before it runs; tasks already posted move to the new one.
    static void install(std::unique_ptr<MainRunLoop> loop);
};

}
