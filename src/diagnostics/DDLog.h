#pragma once

#include "diagnostics/DDLogMessage.h"
#include "foundation/DispatchQueue.h"
#include "foundation/Format.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tvi {

enum DDLogFlag : std::int32_t {
    DDLogFlagError = 1,
    DDLogFlagWarning = 2,
    DDLogFlagInfo = 4,
    DDLogFlagDebug = 8,
    DDLogFlagVerbose = 16,
};

enum DDLogLevel : std::int32_t {
    DDLogLevelOff = 0,
    DDLogLevelError = 1,
    DDLogLevelWarning = 3,
    DDLogLevelInfo = 7,
    DDLogLevelDebug = 15,
    DDLogLevelVerbose = 31,
};

class DDAbstractLogger;

// The logging front end. Lines are formatted and stamped on the caller's
// thread, then delivered to every registered logger from the one serial
// logging queue "cocoa.lumberjack". At most 1000 lines are queued or in
// delivery; the next caller waits until one has been delivered.
class DDLog {
public:
    static constexpr long kMaximumOutstandingMessages = 1000;

    // A null format logs nothing.
    template <typename... Args>
    static void log(bool asynchronous, std::int32_t level, std::int32_t flag, std::int32_t context, const char* file,
                    const char* function, int line, const char* format, Args&&... args)
    {
        if (!format) return;
        queueLogMessage(DDLogMessage(::tvi::format(format, std::forward<Args>(args)...), level, flag, context,
                                     file, function, line),
                        asynchronous);
    }

    // Queues a ready-made message (one with a tag, say).
    static void queueLogMessage(DDLogMessage logMessage, bool asynchronous);

    // Registration happens asynchronously on the logging queue, so a line
    // logged after addLogger() returns reaches the logger. Null is ignored.
    static void addLogger(std::shared_ptr<DDAbstractLogger> logger, std::int32_t level = DDLogLevelVerbose);
    // Removal returns once the logger receives no further lines.
    static void removeLogger(const std::shared_ptr<DDAbstractLogger>& logger);
    static void removeAllLoggers();
    static std::vector<std::shared_ptr<DDAbstractLogger>> allLoggers();

    // Returns once every line queued before it has been delivered, and every
    // logger's flush() has run.
    static void flushLog();

    // The global logging queue "cocoa.lumberjack". Lines queued while it is
    // busy are delivered together, ahead of tasks put on it directly after
    // them; to keep a task in order with the lines (a logger's property
    // change, say), put it there with asyncOnLoggingQueue / syncOnLoggingQueue.
    static const DispatchQueuePtr& loggingQueue();
    // Runs the task on the logging queue after every line queued before the call.
    static void asyncOnLoggingQueue(DispatchQueue::Task task);
    // The same, waiting for the task (runs it directly when already on the logging queue).
    static void syncOnLoggingQueue(const DispatchQueue::Task& task);

    // The delivery path follows the processor count (read once at start);
    // tests and benchmarks may pretend another count. 0 restores the real one.
    static void setAssumedProcessorCount(unsigned count);
};

}
