#include "foundation/MainRunLoop.h"

#include "foundation/HeadlessRunLoop.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace tvi {

namespace {

// The installed loop and the ones it replaced. Never destroyed: a replaced loop may
// still be referenced, and the main queue is used until the process ends.
struct RunLoopSlot {
    std::mutex mutex;
    std::atomic<MainRunLoop*> installed{nullptr};
    std::vector<MainRunLoop*> replaced;
};

RunLoopSlot& slot()
{
    static auto* theSlot = new RunLoopSlot();
    return *theSlot;
}

}

MainRunLoop& MainRunLoop::shared()
{
    RunLoopSlot& s = slot();
    if (MainRunLoop* loop = s.installed.load(std::memory_order_acquire))
        return *loop;
    std::lock_guard lock(s.mutex);
    if (!s.installed.load(std::memory_order_relaxed))
        s.installed.store(new HeadlessRunLoop(), std::memory_order_release);
    return *s.installed.load(std::memory_order_relaxed);
}

void MainRunLoop::install(std::unique_ptr<MainRunLoop> loop)
{
    if (!loop)
        return;
    RunLoopSlot& s = slot();
    std::lock_guard lock(s.mutex);
    // The old loop forwards before the new one is published: a thread that posted to the
    // old loop and then posts again cannot see its second task overtake the first.
    if (MainRunLoop* previous = s.installed.load(std::memory_order_acquire)) {
        previous->handOverTo(*loop);
        s.replaced.push_back(previous);
    }
    s.installed.store(loop.release(), std::memory_order_release);
}

}
