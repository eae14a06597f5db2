#pragma once

#include "diagnostics/DDAbstractLogger.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvi::test {

// Keeps every delivered line (flag and text) so tests can check exact log lines.
class CollectingLogger : public DDAbstractLogger {
public:
    struct Line {
        int flag;
        std::string text;
    };

    CollectingLogger() : DDAbstractLogger("tests.collectingLogger") {}
    // Registers a new collector with the front end (and removes it again on destruction of the handle).
    static std::shared_ptr<CollectingLogger> install();
    static void uninstall(const std::shared_ptr<CollectingLogger>& logger);

    void logMessage(const DDLogMessage& message) override;
    std::vector<Line> lines() const;   // flushes the front end first
    std::vector<std::string> texts() const;
    bool contains(const std::string& text, int flag = 0) const;
    std::size_t count(const std::string& text) const;
    // Waits (flushing) until the text was logged or the time-out passed.
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

}
