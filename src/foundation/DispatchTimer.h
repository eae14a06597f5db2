#pragma once

#include "foundation/DispatchQueue.h"

#include <memory>

namespace tvi {

// One-shot or repeating timer whose handler runs on a given queue.
// invalidate() may be called from any thread (the handler's own included);
// once it returns the handler never starts again, and a handler that was running
// on another thread has finished (so do not call it from a thread the handler is
// itself waiting for). A one-shot timer is invalid once it fires. While armed the
// timer keeps itself alive, so a one-shot timer may be dropped by its creator and a
// repeating one runs until invalidated; invalidation releases the handler. A null
// queue means the main queue.
class DispatchTimer : public std::enable_shared_from_this<DispatchTimer> {
public:
    static std::shared_ptr<DispatchTimer> scheduled(DispatchQueuePtr queue, DispatchQueue::Duration interval,
                                                    bool repeats, std::function<void()> handler);
    virtual ~DispatchTimer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

using DispatchTimerPtr = std::shared_ptr<DispatchTimer>;

}
