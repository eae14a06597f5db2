#pragma once

#include "foundation/DispatchQueue.h"

#include <memory>

namespace tvi {

// One-shot or repeating timer whose handler runs on a given queue.
// invalidate() may be called from any thread (the handler's own included);
// once it returns the handler never starts again.
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
