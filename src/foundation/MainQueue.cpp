#include "foundation/MainQueue.h"

#include "foundation/MainRunLoop.h"
#include "foundation/QueueContext.h"

namespace tvi {

MainQueue::MainQueue() : DispatchQueue("com.apple.main-thread") {}

void MainQueue::async(Task task)
{
    MainRunLoop::shared().post(wrap(std::move(task)));
}

void MainQueue::after(Duration delay, Task task)
{
    MainRunLoop::shared().postAfter(delay, wrap(std::move(task)));
}

DispatchQueue::Task MainQueue::wrap(Task task)
{
    // The main queue is never destroyed, so the raw pointer stays good.
    return [this, task = std::move(task)] { QueueContext::runGuarded(this, task); };
}

}
