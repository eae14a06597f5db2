#include "foundation/MainQueue.h"

#include "foundation/MainRunLoop.h"
#include "foundation/QueueContext.h"

namespace tvi {

MainQueue::MainQueue() : DispatchQueue("com.apple.main-thread") {}

void MainQueue::async(Task task)
{
    MainRunLoop::notePosted();
    MainRunLoop::shared().post(wrap(std::move(task)));
}

void MainQueue::after(Duration delay, Task task)
{
    // Counted once due and started: waiting for its time is not waiting for the main thread.
    MainRunLoop::shared().postAfter(delay, [wrapped = wrap(std::move(task))] {
        MainRunLoop::notePosted();
        wrapped();
    });
}

DispatchQueue::Task MainQueue::wrap(Task task)
{
    // The main queue is never destroyed, so the raw pointer stays good.
    return [this, task = std::move(task)] {
        // Finished even when the task throws: runGuarded reports and swallows it.
        QueueContext::runGuarded(this, task);
        MainRunLoop::noteFinished();
    };
}

}
