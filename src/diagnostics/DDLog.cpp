#include "diagnostics/DDLog.h"

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDLoggerNode.h"
#include "foundation/DispatchGroup.h"
#include "foundation/DispatchSemaphore.h"
#include "foundation/ProblemReporter.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

namespace tvi {
namespace {

unsigned availableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return 1;
}

// Lines queued together while the logging queue is busy; delivered as one step.
struct Batch {
    std::vector<DDLogMessage> messages;
};

// The front end's process-wide state. Never destroyed: the at-exit flush needs
// it after static destructors may have begun.
struct LoggingState {
    DispatchQueuePtr queue = DispatchQueue::createSerial("cocoa.lumberjack");
    DispatchGroup group;
    DispatchSemaphore semaphore{DDLog::kMaximumOutstandingMessages};
    const unsigned processorCount = availableProcessors();
    std::atomic<unsigned> assumedProcessorCount{0};
    std::vector<DDLoggerNode> nodes; // on `queue` only

    // The batch that new lines join. Its delivery task is already on `queue`,
    // so a line joins it only while that task has not started; any other task
    // put on `queue` closes it first, which keeps lines and registrations in
    // the order of their calls.
    std::mutex batchMutex;
    std::shared_ptr<Batch> openBatch;
};

void flushAtExit()
{
    DDLog::flushLog();
}

LoggingState& state()
{
    static LoggingState* const instance = [] {
        auto* created = new LoggingState;
        // Registered after the queue exists, so the flush runs before anything
        // the queue depends on is torn down.
        std::atexit(flushAtExit);
        return created;
    }();
    return *instance;
}

// Runs the task on the logging queue and waits for it.
void onLoggingQueueSync(const DispatchQueue::Task& task)
{
    auto& queue = state().queue;
    if (queue->isCurrent()) {
        task();
    } else {
        queue->sync(task);
    }
}

// On the logging queue. With several processors all loggers write the lines at
// once and the next delivery waits for the slowest; with one, they take turns.
// Each logger sees the lines in order of arrival.
void deliver(const std::vector<DDLogMessage>& messages)
{
    LoggingState& s = state();
    unsigned processors = s.assumedProcessorCount.load(std::memory_order_relaxed);
    if (processors == 0) processors = s.processorCount;
    for (const DDLoggerNode& node : s.nodes) {
        DDAbstractLogger* logger = node.logger.get();
        auto write = [logger, level = node.level, &messages] { logger->logMessages(messages, level); };
        if (processors > 1) s.group.async(*node.loggerQueue, write);
        else node.loggerQueue->sync(write);
    }
    if (processors > 1) s.group.wait();
    for (std::size_t i = 0; i < messages.size(); ++i) s.semaphore.signal();
}

void deliverBatch(const std::shared_ptr<Batch>& batch)
{
    LoggingState& s = state();
    {
        std::lock_guard lock(s.batchMutex);
        if (s.openBatch == batch) s.openBatch.reset();
    }
    deliver(batch->messages);
}

}

void DDLog::queueLogMessage(DDLogMessage logMessage, bool asynchronous)
{
    LoggingState& s = state();
    s.semaphore.wait();
    if (!asynchronous) {
        std::vector<DDLogMessage> single;
        single.push_back(std::move(logMessage));
        DDLog::syncOnLoggingQueue([&] { deliver(single); });
        return;
    }
    std::lock_guard lock(s.batchMutex);
    if (s.openBatch) {
        s.openBatch->messages.push_back(std::move(logMessage));
        return;
    }
    auto batch = std::make_shared<Batch>();
    batch->messages.push_back(std::move(logMessage));
    s.openBatch = batch;
    s.queue->async([batch] { deliverBatch(batch); });
}

void DDLog::addLogger(std::shared_ptr<DDAbstractLogger> logger, std::int32_t level)
{
    if (!logger) return;
    // Foundation's problems become error lines like any other once someone listens.
    ProblemReporter::setHook([](const ProblemReporter::Problem& problem) {
        DDLog::log(true, DDLogLevelVerbose, DDLogFlagError, TVI_LOG_CONTEXT, problem.file, problem.function,
                   problem.line, "%@", problem.text);
    });
    DDLog::asyncOnLoggingQueue([logger = std::move(logger), level] {
        DispatchQueuePtr queue = logger->loggerQueue();
        if (!queue) queue = DispatchQueue::createSerial(logger->loggerName());
        state().nodes.push_back(DDLoggerNode{logger, queue, level});
        queue->async([logger] { logger->didAddLogger(); });
    });
}

void DDLog::removeLogger(const std::shared_ptr<DDAbstractLogger>& logger)
{
    if (!logger) return;
    DDLog::syncOnLoggingQueue([&] {
        auto& nodes = state().nodes;
        nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                                   [&](const DDLoggerNode& node) { return node.logger == logger; }),
                    nodes.end());
    });
}

void DDLog::removeAllLoggers()
{
    DDLog::syncOnLoggingQueue([] { state().nodes.clear(); });
}

std::vector<std::shared_ptr<DDAbstractLogger>> DDLog::allLoggers()
{
    std::vector<std::shared_ptr<DDAbstractLogger>> loggers;
    DDLog::syncOnLoggingQueue([&] {
        for (const DDLoggerNode& node : state().nodes) loggers.push_back(node.logger);
    });
    return loggers;
}

void DDLog::flushLog()
{
    DDLog::syncOnLoggingQueue([] {
        for (const DDLoggerNode& node : state().nodes) {
            DDAbstractLogger* logger = node.logger.get();
            node.loggerQueue->sync([logger] { logger->flush(); });
        }
    });
}

const DispatchQueuePtr& DDLog::loggingQueue()
{
    return state().queue;
}

void DDLog::asyncOnLoggingQueue(DispatchQueue::Task task)
{
    LoggingState& s = state();
    std::lock_guard lock(s.batchMutex);
    s.openBatch.reset();
    s.queue->async(std::move(task));
}

void DDLog::syncOnLoggingQueue(const DispatchQueue::Task& task)
{
    LoggingState& s = state();
    {
        std::lock_guard lock(s.batchMutex);
        s.openBatch.reset();
    }
    onLoggingQueueSync(task);
}

void DDLog::setAssumedProcessorCount(unsigned count)
{
    state().assumedProcessorCount.store(count, std::memory_order_relaxed);
}

}
