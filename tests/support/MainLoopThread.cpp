#include "support/MainLoopThread.h"

#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"

namespace tvi::test {

MainLoopThread::MainLoopThread()
{
    thread_ = std::thread([] { MainRunLoop::shared().run(); });
}

MainLoopThread::~MainLoopThread()
{
    drain();
    MainRunLoop::shared().stop();
    thread_.join();
}

void MainLoopThread::runOnMain(const std::function<void()>& task)
{
    DispatchQueue::main()->sync(task);
}

void MainLoopThread::drain()
{
    DispatchQueue::main()->sync([] {});
}

}
