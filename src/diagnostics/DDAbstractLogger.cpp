#include "diagnostics/DDAbstractLogger.h"

#include "diagnostics/DDLog.h"

namespace tvi {

DDAbstractLogger::DDAbstractLogger(std::string loggerName)
    : loggerName_(std::move(loggerName)), loggerQueue_(DispatchQueue::createSerial(loggerName_))
{
}

void DDAbstractLogger::logMessage(const DDLogMessage&) {}

void DDAbstractLogger::logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level)
{
    for (const DDLogMessage& message : logMessages)
        if (message.logFlag() <= level) logMessage(message);
}

std::shared_ptr<DDLogFormatter> DDAbstractLogger::logFormatter() const
{
    std::shared_ptr<DDLogFormatter> result;
    syncOnLoggerQueue([&] { result = formatter_; });
    return result;
}

void DDAbstractLogger::setLogFormatter(std::shared_ptr<DDLogFormatter> formatter)
{
    asyncOnLoggerQueue([this, formatter = std::move(formatter)] { formatter_ = formatter; });
}

bool DDAbstractLogger::isOnGlobalLoggingQueue() const
{
    return DDLog::loggingQueue()->isCurrent();
}

bool DDAbstractLogger::isOnInternalLoggerQueue() const
{
    return loggerQueue_->isCurrent();
}

void DDAbstractLogger::syncOnLoggerQueue(const std::function<void()>& task) const
{
    if (isOnInternalLoggerQueue()) {
        task();
    } else if (isOnGlobalLoggingQueue()) {
        loggerQueue_->sync(task);
    } else {
        DDLog::syncOnLoggingQueue([&] { loggerQueue_->sync(task); });
    }
}

void DDAbstractLogger::asyncOnLoggerQueue(std::function<void()> task)
{
    if (isOnInternalLoggerQueue()) {
        task();
        return;
    }
    // The reference keeps the logger alive until the write has landed.
    auto self = shared_from_this();
    auto onLoggerQueue = [self, task = std::move(task)] { task(); };
    if (isOnGlobalLoggingQueue()) {
        loggerQueue_->async(std::move(onLoggerQueue));
    } else {
        DDLog::asyncOnLoggingQueue(
            [self, onLoggerQueue = std::move(onLoggerQueue)] { self->loggerQueue_->async(onLoggerQueue); });
    }
}

}
