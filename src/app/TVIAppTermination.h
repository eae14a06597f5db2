#pragma once

#include <atomic>
#include <memory>
#include <thread>

namespace tvi {

class TVIAppDelegate;

// The shutdown sequence of the running controller (shortcuts off, server stopped, logs
// flushed), run once on the main thread: when the main run loop ends, or from exit() when a
// library ends the process under the running loop (Qt does when its X connection breaks at
// logout). Such an exit then ends with status 0 once the sequence has run, as a requested
// shutdown would.
class TVIAppTermination {
public:
    // On the main thread, after the launch task was queued: the exit hook is armed by a task
    // queued behind it, so that everything the sequence uses exists before the hook is
    // registered and, by exit()'s reverse order, is still there when it runs.
    explicit TVIAppTermination(std::shared_ptr<TVIAppDelegate> controller);
    ~TVIAppTermination();
    TVIAppTermination(const TVIAppTermination&) = delete;
    TVIAppTermination& operator=(const TVIAppTermination&) = delete;

    // Runs the sequence unless it ran already; main thread.
    void terminate();

private:
    static void terminateAtExit();

    std::shared_ptr<TVIAppDelegate> controller_;
    const std::thread::id mainThread_;
    std::atomic<bool> terminated_{false};
};

}
