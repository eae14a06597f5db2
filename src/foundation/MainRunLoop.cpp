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

std::atomic<std::uint64_t> postedTasks{0};
std::atomic<std::uint64_t> finishedTasks{0};
std::atomic<int> modalDepth{0};
std::atomic<void (*)()> postObserver{nullptr};

RunLoopSlot& slot()
{
    static auto* theSlot = new RunLoopSlot();
    return *theSlot;
}

}

MainRunLoop::Progress MainRunLoop::progress()
{
    // Finished first: a task counted finished was always counted posted before it.
    Progress progress;
    // Sequentially consistent: a watcher that announces its sleep and then reads these must
    // not miss a post whose poster then misses the announcement.
    progress.finished = finishedTasks.load();
    progress.posted = postedTasks.load();
    progress.modal = modalDepth.load(std::memory_order_acquire) > 0;
    return progress;
}

void MainRunLoop::setPostObserver(void (*observer)())
{
    postObserver.store(observer, std::memory_order_release);
}

void MainRunLoop::notePosted()
{
    postedTasks.fetch_add(1);
    if (auto observer = postObserver.load(std::memory_order_acquire)) observer();
}

void MainRunLoop::noteFinished()
{
    finishedTasks.fetch_add(1, std::memory_order_acq_rel);
}

MainRunLoop::ModalSection::ModalSection()
{
    modalDepth.fetch_add(1, std::memory_order_acq_rel);
}

MainRunLoop::ModalSection::~ModalSection()
{
    modalDepth.fetch_sub(1, std::memory_order_acq_rel);
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
