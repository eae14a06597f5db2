#pragma once

#include "foundation/DispatchQueue.h"

namespace tvi {

// Which queues the calling thread is serving. A thread holds the queue whose task
// it runs and, during sync(), every queue it has entered on the way; the innermost
// one is current().
class QueueContext {
public:
    // Marks the queue as held by this thread for the scope's lifetime.
    class Scope {
    public:
        explicit Scope(DispatchQueue* queue);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        friend class QueueContext;
        DispatchQueue* queue_;
        Scope* outer_;
    };

    static DispatchQueue* current();
    static bool holds(const DispatchQueue* queue);
    // Runs a queued task as the queue's own; an exception is reported, not propagated,
    // so that one faulty task does not take the queue (or its thread) down.
    static void runGuarded(DispatchQueue* queue, const DispatchQueue::Task& task);
};

}
