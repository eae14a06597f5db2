#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tvi {

// One log line, stamped on the caller's thread. Immutable once queued; copyable.
class DDLogMessage {
public:
    using Clock = std::chrono::system_clock;

    // Bits of `options`: copy the source path / the function name instead of
    // pointing at the caller's constant. Telvora's own lines pass 0.
    enum Options : std::uint32_t { CopyFile = 1, CopyFunction = 2 };

    DDLogMessage(std::string logMsg, std::int32_t logLevel, std::int32_t logFlag, std::int32_t logContext,
                 const char* file, const char* function, std::int32_t lineNumber, std::string tag = {},
                 std::uint32_t options = 0, Clock::time_point timestamp = Clock::now());

    const std::string& logMsg() const { return logMsg_; }
    std::int32_t logLevel() const { return logLevel_; }
    std::int32_t logFlag() const { return logFlag_; }
    std::int32_t logContext() const { return logContext_; }
    std::int32_t lineNumber() const { return lineNumber_; }
    const char* file() const { return (options_ & CopyFile) ? fileCopy_.c_str() : file_; }
    const char* function() const { return (options_ & CopyFunction) ? functionCopy_.c_str() : function_; }
    Clock::time_point timestamp() const { return timestamp_; }
    // Kernel thread id of the caller (gettid), printed as "%x".
    std::uint32_t machThreadID() const { return machThreadID_; }
    // Label of the dispatch queue the caller ran on, or "".
    const std::string& queueLabel() const { return queueLabel_; }
    const std::string& threadName() const { return threadName_; }
    // Empty when the line carries no tag (always so for Telvora's own lines).
    const std::string& tag() const { return tag_; }
    std::uint32_t options() const { return options_; }

    // Source file name without folder and extension ("TVISocket").
    std::string fileName() const;
    std::string methodName() const { return function() ? function() : ""; }

private:
    std::string logMsg_;
    std::int32_t logLevel_;
    std::int32_t logFlag_;
    std::int32_t logContext_;
    std::int32_t lineNumber_;
    const char* file_;
    const char* function_;
    std::string fileCopy_;
    std::string functionCopy_;
    Clock::time_point timestamp_;
    std::uint32_t machThreadID_;
    std::string queueLabel_;
    std::string threadName_;
    std::string tag_;
    std::uint32_t options_;
};

}
