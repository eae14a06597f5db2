#include "foundation/DispatchQueue.h"

#include "foundation/DispatchPool.h"
#include "foundation/MainQueue.h"
#include "foundation/QueueContext.h"
#include "foundation/SerialQueue.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

namespace tvi {

namespace {

// Completion of a task that another thread runs for a sync() caller.
struct SyncCompletion {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
};

}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label)
{
    return std::make_shared<SerialQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::main()
{
    // Deliberately leaked: tasks and at-exit handlers may reach the main queue late.
    static auto* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<MainQueue>());
    return *queue;
}

DispatchQueue* DispatchQueue::current()
{
    return QueueContext::current();
}

void DispatchQueue::sync(const Task& task)
{
    if (QueueContext::holds(this)) {
        std::fprintf(stderr,
                     "Telvora: fatal: sync onto queue \"%s\" from a task that this queue is running; "
                     "it would deadlock\n",
                     label_.c_str());
        std::fflush(stderr);
        std::abort();
    }
    runSync(task);
}

void DispatchQueue::runSync(const Task& task)
{
    auto completion = std::make_shared<SyncCompletion>();
    async([completion, &task] {
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(completion->mutex);
        completion->failure = failure;
        completion->done = true;
        completion->finished.notify_all();
    });
    DispatchPool::BlockingScope blocking;
    std::unique_lock lock(completion->mutex);
    completion->finished.wait(lock, [&completion] { return completion->done; });
    if (completion->failure)
        std::rethrow_exception(completion->failure);
}

}
