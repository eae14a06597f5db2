#include "foundation/QueueContext.h"

#include <cstdio>
#include <exception>

namespace tvi {

namespace {
thread_local QueueContext::Scope* innermost = nullptr;
}

QueueContext::Scope::Scope(DispatchQueue* queue) : queue_(queue), outer_(innermost)
{
    innermost = this;
}

QueueContext::Scope::~Scope()
{
    innermost = outer_;
}

DispatchQueue* QueueContext::current()
{
    return innermost ? innermost->queue_ : nullptr;
}

bool QueueContext::holds(const DispatchQueue* queue)
{
    for (const Scope* scope = innermost; scope; scope = scope->outer_) {
        if (scope->queue_ == queue)
            return true;
    }
    return false;
}

void QueueContext::runGuarded(DispatchQueue* queue, const DispatchQueue::Task& task)
{
    Scope scope(queue);
    try {
        task();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Telvora: uncaught exception in a task of queue \"%s\": %s\n", queue->label().c_str(),
                     e.what());
    } catch (...) {
        std::fprintf(stderr, "Telvora: uncaught exception in a task of queue \"%s\"\n", queue->label().c_str());
    }
}

}
