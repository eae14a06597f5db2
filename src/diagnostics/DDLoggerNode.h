#pragma once

#include "foundation/DispatchQueue.h"

#include <cstdint>
#include <memory>

namespace tvi {

class DDAbstractLogger;

// One registration with the front end: the logger, the queue its lines are
// delivered on, and the level it was added with.
struct DDLoggerNode {
    std::shared_ptr<DDAbstractLogger> logger;
    DispatchQueuePtr loggerQueue;
    std::int32_t level = 0;
};

}
