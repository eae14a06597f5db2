#pragma once

#include "diagnostics/DDLogFormatter.h"
#include "diagnostics/DDLogMessage.h"
#include "foundation/DispatchQueue.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tvi {

// Base of the loggers. Each logger owns a serial queue named after its
// loggerName; the front end runs logMessage() there, so the logger's state is
// touched by one queue at a time and needs no lock. Create loggers with
// std::make_shared: property writes hop queues while holding a reference.
class DDAbstractLogger : public std::enable_shared_from_this<DDAbstractLogger> {
public:
    virtual ~DDAbstractLogger() = default;
    DDAbstractLogger(const DDAbstractLogger&) = delete;
    DDAbstractLogger& operator=(const DDAbstractLogger&) = delete;

    // Called on loggerQueue() for every line at or under the logger's level.
    virtual void logMessage(const DDLogMessage& logMessage);
    // The lines of one delivery step, in order; those at or under `level` are
    // this logger's. The default hands each to logMessage(); a logger that can
    // write several lines with one system call overrides it.
    virtual void logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level);

    std::shared_ptr<DDLogFormatter> logFormatter() const;
    void setLogFormatter(std::shared_ptr<DDLogFormatter> formatter);

    const DispatchQueuePtr& loggerQueue() const { return loggerQueue_; }
    const std::string& loggerName() const { return loggerName_; }
    bool isOnGlobalLoggingQueue() const;
    bool isOnInternalLoggerQueue() const;

    // Hooks the front end calls on loggerQueue(): after registration, and from DDLog::flushLog().
    virtual void didAddLogger() {}
    virtual void flush() {}

protected:
    explicit DDAbstractLogger(std::string loggerName);

    // Property reads: a synchronous hop onto the logging queue, then onto this
    // logger's queue (runs directly when already on one of them).
    void syncOnLoggerQueue(const std::function<void()>& task) const;
    // Property writes: the same path, asynchronously.
    void asyncOnLoggerQueue(std::function<void()> task);

    // Touched on loggerQueue() only.
    std::shared_ptr<DDLogFormatter> formatter_;

private:
    std::string loggerName_;
    DispatchQueuePtr loggerQueue_;
};

}
