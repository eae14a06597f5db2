#include "diagnostics/DDFileLogger.h"

#include "diagnostics/DDLogFileFormatterDefault.h"
#include "diagnostics/SystemLog.h"
#include "foundation/Format.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace tvi {
namespace {
constexpr int kReportedWriteFailures = 10;
constexpr auto kReopenDelay = std::chrono::seconds(1);

// A file an older version made readable by everyone is closed to others before more is
// written to it.
void keepFilePrivate(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (info.st_mode & 077) != 0) ::fchmod(fd, info.st_mode & 0700);
}
}

DDFileLogger::DDFileLogger() : DDFileLogger(std::make_shared<DDLogFileManagerDefault>()) {}

DDFileLogger::DDFileLogger(std::shared_ptr<DDLogFileManagerDefault> logFileManager)
    : DDAbstractLogger("cocoa.lumberjack.fileLogger"), logFileManager_(std::move(logFileManager))
{
    formatter_ = std::make_shared<DDLogFileFormatterDefault>();
}

DDFileLogger::~DDFileLogger()
{
    fileWatch_.reset();
    if (rollingTimer_) rollingTimer_->invalidate();
    if (fileDescriptor_ >= 0) {
        ::fsync(fileDescriptor_);
        ::close(fileDescriptor_);
    }
}

void DDFileLogger::checkPropertyAccess() const
{
    // Reading through the hops from these queues would wait on itself; the
    // read still completes, by the direct route, but the caller is wrong.
    if (isOnGlobalLoggingQueue()) SystemLog::write("Core architecture requirement failure");
    else if (isOnInternalLoggerQueue()) SystemLog::write("MUST access ivar directly, NOT via self.* syntax.");
}

std::uint64_t DDFileLogger::maximumFileSize() const
{
    checkPropertyAccess();
    std::uint64_t result = 0;
    syncOnLoggerQueue([&] { result = maximumFileSize_; });
    return result;
}

void DDFileLogger::setMaximumFileSize(std::uint64_t bytes)
{
    asyncOnLoggerQueue([this, bytes] { maximumFileSize_ = bytes; });
}

double DDFileLogger::rollingFrequency() const
{
    checkPropertyAccess();
    double result = 0;
    syncOnLoggerQueue([&] { result = rollingFrequency_; });
    return result;
}

void DDFileLogger::setRollingFrequency(double seconds)
{
    asyncOnLoggerQueue([this, seconds] {
        rollingFrequency_ = seconds;
        if (fileDescriptor_ < 0) return;
        if (rollingFrequency_ > 0 && currentLogFileInfo_->age() >= rollingFrequency_) rollLogFileOnQueue();
        else scheduleRollingTimer();
    });
}

std::optional<DDLogFileInfo> DDFileLogger::currentLogFileInfo()
{
    std::optional<DDLogFileInfo> result;
    syncOnLoggerQueue([&] {
        if (ensureCurrentFile()) result = currentLogFileInfo_;
    });
    return result;
}

void DDFileLogger::rollLogFileNow()
{
    if (isOnGlobalLoggingQueue()) SystemLog::write("Core architecture requirement failure");
    syncOnLoggerQueue([this] { rollLogFileOnQueue(); });
}

void DDFileLogger::logMessage(const DDLogMessage& logMessage)
{
    appendLine(logMessage);
    writePending();
}

void DDFileLogger::logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level)
{
    constexpr std::size_t kWriteThreshold = 64 * 1024;
    for (const DDLogMessage& message : logMessages) {
        if (message.logFlag() > level) continue;
        appendLine(message);
        if (pending_.size() >= kWriteThreshold) writePending();
    }
    writePending();
}

void DDFileLogger::appendLine(const DDLogMessage& logMessage)
{
    std::optional<std::string> text = formatter_ ? formatter_->formatLogMessage(logMessage) : logMessage.logMsg();
    if (!text) return;
    if (text->empty() || text->back() != '\n') text->push_back('\n');
    if (!ensureCurrentFile()) return;
    pending_ += *text;
    fileOffset_ += text->size();
    if (maximumFileSize_ > 0 && fileOffset_ >= maximumFileSize_) rollLogFileOnQueue();
}

void DDFileLogger::writePending()
{
    if (fileDescriptor_ < 0) {
        pending_.clear();
        return;
    }
    const char* data = pending_.data();
    std::size_t remaining = pending_.size();
    while (remaining > 0) {
        const ssize_t written = ::write(fileDescriptor_, data, remaining);
        if (written < 0) {
            if (errno == EINTR) continue;
            reportWriteFailure(std::strerror(errno));
            const off_t offset = ::lseek(fileDescriptor_, 0, SEEK_CUR);
            if (offset >= 0) fileOffset_ = std::uint64_t(offset);
            break;
        }
        data += written;
        remaining -= std::size_t(written);
    }
    pending_.clear();
}

bool DDFileLogger::ensureCurrentFile()
{
    if (fileDescriptor_ >= 0) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now < retryOpenAfter_) return false;
    chooseCurrentFile();

    fileDescriptor_ = ::open(currentLogFileInfo_->filePath().c_str(), O_WRONLY | O_CLOEXEC);
    if (fileDescriptor_ < 0) {
        // Forget the file so that a later line tries a fresh one instead of
        // dropping everything for the rest of the process.
        currentLogFileInfo_.reset();
        retryOpenAfter_ = now + kReopenDelay;
        return false;
    }
    keepFilePrivate(fileDescriptor_);
    const off_t end = ::lseek(fileDescriptor_, 0, SEEK_END);
    fileOffset_ = end > 0 ? std::uint64_t(end) : 0;
    scheduleRollingTimer();
    std::weak_ptr<DDAbstractLogger> weak = weak_from_this();
    fileWatch_ = LogFileWatch::start(currentLogFileInfo_->filePath(), fileDescriptor_, loggerQueue(), [weak] {
        if (auto self = weak.lock()) static_cast<DDFileLogger&>(*self).rollLogFileOnQueue();
    });
    return true;
}

void DDFileLogger::chooseCurrentFile()
{
    std::vector<DDLogFileInfo> infos = logFileManager_->sortedLogFileInfos();
    if (!infos.empty() && !infos.front().isArchived()) {
        DDLogFileInfo& newest = infos.front();
        const bool tooBig = maximumFileSize_ > 0 && newest.fileSize() >= maximumFileSize_;
        const bool tooOld = rollingFrequency_ > 0 && newest.age() >= rollingFrequency_;
        if (!tooBig && !tooOld) {
            currentLogFileInfo_ = newest;
            return;
        }
        newest.setIsArchived(true);
    }
    currentLogFileInfo_.emplace(logFileManager_->createNewLogFile());
}

void DDFileLogger::rollLogFileOnQueue()
{
    writePending();
    fileWatch_.reset();
    if (rollingTimer_) {
        rollingTimer_->invalidate();
        rollingTimer_.reset();
    }
    if (fileDescriptor_ >= 0) {
        ::fsync(fileDescriptor_);
        // Through the descriptor, so that a renamed file is marked too.
        currentLogFileInfo_->setIsArchivedThroughDescriptor(fileDescriptor_);
        ::close(fileDescriptor_);
        fileDescriptor_ = -1;
    }
    currentLogFileInfo_.reset();
}

void DDFileLogger::scheduleRollingTimer()
{
    if (rollingTimer_) {
        rollingTimer_->invalidate();
        rollingTimer_.reset();
    }
    if (rollingFrequency_ <= 0 || !currentLogFileInfo_) return;
    const auto due = currentLogFileInfo_->creationDate() +
                     std::chrono::duration_cast<std::chrono::system_clock::duration>(
                         std::chrono::duration<double>(rollingFrequency_));
    auto delay = due - std::chrono::system_clock::now();
    if (delay < delay.zero()) delay = delay.zero();
    std::weak_ptr<DDAbstractLogger> weak = weak_from_this();
    rollingTimer_ = DispatchTimer::scheduled(
        loggerQueue(), std::chrono::duration_cast<DispatchQueue::Duration>(delay), false, [weak] {
            if (auto self = weak.lock()) static_cast<DDFileLogger&>(*self).rollingTimerFired();
        });
}

void DDFileLogger::rollingTimerFired()
{
    if (fileDescriptor_ < 0 || !currentLogFileInfo_ || rollingFrequency_ <= 0) return;
    if (currentLogFileInfo_->age() >= rollingFrequency_) rollLogFileOnQueue();
    else scheduleRollingTimer();
}

void DDFileLogger::reportWriteFailure(const std::string& what)
{
    if (writeFailures_ >= kReportedWriteFailures) return;
    ++writeFailures_;
    SystemLog::write(format("DDFileLogger.logMessage: %@", what));
    if (writeFailures_ == kReportedWriteFailures)
        SystemLog::write("DDFileLogger.logMessage: Too many exceptions -- will not log any more of them.");
}

}
