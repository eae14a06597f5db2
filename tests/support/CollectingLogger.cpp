#include "support/CollectingLogger.h"

#include "diagnostics/DDLog.h"

#include <algorithm>
#include <thread>

namespace tvi::test {

std::shared_ptr<CollectingLogger> CollectingLogger::install()
{
    auto logger = std::make_shared<CollectingLogger>();
    DDLog::addLogger(logger);
    DDLog::flushLog();
    return logger;
}

void CollectingLogger::uninstall(const std::shared_ptr<CollectingLogger>& logger)
{
    DDLog::flushLog();
    DDLog::removeLogger(logger);
}

void CollectingLogger::logMessage(const DDLogMessage& message)
{
    std::lock_guard lock(mutex_);
    lines_.push_back({message.logFlag(), message.logMsg()});
}

std::vector<CollectingLogger::Line> CollectingLogger::lines() const
{
    DDLog::flushLog();
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> CollectingLogger::texts() const
{
    std::vector<std::string> out;
    for (const Line& line : lines()) out.push_back(line.text);
    return out;
}

bool CollectingLogger::contains(const std::string& text, int flag) const
{
    const auto all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const Line& l) { return l.text == text && (flag == 0 || l.flag == flag); });
}

std::size_t CollectingLogger::count(const std::string& text) const
{
    const auto all = lines();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const Line& l) { return l.text == text; }));
}

bool CollectingLogger::waitFor(const std::string& text, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (contains(text)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return contains(text);
}

void CollectingLogger::clear()
{
    DDLog::flushLog();
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}
