#pragma once

#include <functional>
#include <thread>

namespace tvi::test {

// Serves the main queue on a thread of its own for the lifetime of the object,
// so code that hops onto the main queue can be tested from the test thread.
class MainLoopThread {
public:
    MainLoopThread();
    ~MainLoopThread();
    MainLoopThread(const MainLoopThread&) = delete;
    MainLoopThread& operator=(const MainLoopThread&) = delete;

    // Runs the task on the main queue and returns when it has run.
    static void runOnMain(const std::function<void()>& task);
    // Returns once every main-queue task queued before the call has run.
    static void drain();

private:
    std::thread thread_;
};

}
