#pragma once

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLogFileInfo.h"
#include "diagnostics/DDLogFileManagerDefault.h"
#include "diagnostics/LogFileWatch.h"
#include "foundation/DispatchTimer.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace tvi {

// Writes every line to the current file of the logs folder and starts a new
// file once the current one reaches maximumFileSize or is rollingFrequency
// old, or is deleted or renamed from outside. Finished files are marked
// archived; the file manager deletes the oldest.
class DDFileLogger : public DDAbstractLogger {
public:
    static constexpr std::uint64_t kDefaultMaximumFileSize = 1024 * 1024;
    static constexpr double kDefaultRollingFrequency = 60 * 60 * 24;

    DDFileLogger();
    explicit DDFileLogger(std::shared_ptr<DDLogFileManagerDefault> logFileManager);
    ~DDFileLogger() override;

    // 0 disables the size limit.
    std::uint64_t maximumFileSize() const;
    void setMaximumFileSize(std::uint64_t bytes);
    // Seconds; 0 or less disables the age limit.
    double rollingFrequency() const;
    void setRollingFrequency(double seconds);

    const std::shared_ptr<DDLogFileManagerDefault>& logFileManager() const { return logFileManager_; }

    // The file lines go to now, chosen or created on demand.
    std::optional<DDLogFileInfo> currentLogFileInfo();
    // Closes and archives the current file; the next line begins a new one. Returns when done.
    void rollLogFileNow();

    void logMessage(const DDLogMessage& logMessage) override;
    // The lines of a delivery step go out in one write, split where the file rolls.
    void logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level) override;

private:
    void appendLine(const DDLogMessage& logMessage);
    void writePending();
    // On the logger's queue.
    bool ensureCurrentFile();
    void chooseCurrentFile();
    void rollLogFileOnQueue();
    void scheduleRollingTimer();
    void rollingTimerFired();
    void reportWriteFailure(const std::string& what);
    void closeFile();
    // Reports reads and rolls from the logging queue or own queue as the programming errors they are.
    void checkPropertyAccess() const;

    const std::shared_ptr<DDLogFileManagerDefault> logFileManager_;
    std::uint64_t maximumFileSize_ = kDefaultMaximumFileSize;
    double rollingFrequency_ = kDefaultRollingFrequency;
    std::optional<DDLogFileInfo> currentLogFileInfo_;
    int fileDescriptor_ = -1;
    // Offset the file will have once `pending_` is written.
    std::uint64_t fileOffset_ = 0;
    std::string pending_;
    std::unique_ptr<LogFileWatch> fileWatch_;
    DispatchTimerPtr rollingTimer_;
    int writeFailures_ = 0;
    // After a failed open, lines are dropped until this moment, then a new file is tried.
    std::chrono::steady_clock::time_point retryOpenAfter_{};
};

}
