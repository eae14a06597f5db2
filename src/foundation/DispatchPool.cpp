#include "foundation/DispatchPool.h"

#include <asio/post.hpp>

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

namespace tvi {

namespace {
thread_local bool onWorker = false;
}

DispatchPool& DispatchPool::shared()
{
    // Deliberately leaked: see the class comment.
    static DispatchPool* pool = new DispatchPool();
    return *pool;
}

DispatchPool::DispatchPool() : guard_(asio::make_work_guard(io_))
{
    std::lock_guard lock(mutex_);
    for (int i = 0; i < initialWorkers; ++i)
        addWorker();
}

void DispatchPool::post(std::function<void()> job)
{
    asio::post(io_, std::move(job));
}

int DispatchPool::workerCount()
{
    std::lock_guard lock(mutex_);
    return workers_;
}

void DispatchPool::addWorker()
{
    try {
        std::thread([this] { serve(); }).detach();
        ++workers_;
    } catch (const std::system_error& e) {
        // The workers already running keep serving; the count stays true.
        std::fprintf(stderr, "Telvora: could not start a dispatch worker: %s\n", e.what());
    }
}

void DispatchPool::serve()
{
    onWorker = true;
    for (;;) {
        try {
            io_.run();
            return;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Telvora: uncaught exception on a dispatch worker: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Telvora: uncaught exception on a dispatch worker\n");
        }
    }
}

void DispatchPool::enterBlocking()
{
    std::lock_guard lock(mutex_);
    ++blocked_;
    if (workers_ - blocked_ < minimumFreeWorkers && workers_ < maximumWorkers)
        addWorker();
}

void DispatchPool::leaveBlocking()
{
    std::lock_guard lock(mutex_);
    --blocked_;
}

DispatchPool::BlockingScope::BlockingScope() : counted_(onWorker)
{
    if (counted_)
        shared().enterBlocking();
}

DispatchPool::BlockingScope::~BlockingScope()
{
    if (counted_)
        shared().leaveBlocking();
}

}
