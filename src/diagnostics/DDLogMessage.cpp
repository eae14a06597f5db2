#include "diagnostics/DDLogMessage.h"

#include "foundation/DispatchQueue.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <mutex>

namespace tvi {
namespace {

thread_local std::uint32_t cachedThreadId = 0;

// gettid is a system call; a thread's id never changes, except in the child of
// a fork, where the cache is reset.
std::uint32_t currentThreadId()
{
    static std::once_flag atForkRegistered;
    if (cachedThreadId == 0) {
        std::call_once(atForkRegistered, [] { pthread_atfork(nullptr, nullptr, [] { cachedThreadId = 0; }); });
        cachedThreadId = static_cast<std::uint32_t>(gettid());
    }
    return cachedThreadId;
}

// Reading the name is a system call too, several times the cost of the rest of
// a log call. Names are set once, early, if at all; a rename shows within a second.
std::string currentThreadName()
{
    thread_local std::string name;
    thread_local std::chrono::steady_clock::time_point readAt{};
    const auto now = std::chrono::steady_clock::now();
    if (readAt == std::chrono::steady_clock::time_point{} || now - readAt >= std::chrono::seconds(1)) {
        char buffer[17] = {};
        name = prctl(PR_GET_NAME, buffer, 0, 0, 0) == 0 ? buffer : "";
        readAt = now;
    }
    return name;
}

std::string currentQueueLabel()
{
    const DispatchQueue* queue = DispatchQueue::current();
    return queue ? queue->label() : std::string();
}

}

DDLogMessage::DDLogMessage(std::string logMsg, std::int32_t logLevel, std::int32_t logFlag, std::int32_t logContext,
                           const char* file, const char* function, std::int32_t lineNumber, std::string tag,
                           std::uint32_t options, Clock::time_point timestamp)
    : logMsg_(std::move(logMsg)),
      logLevel_(logLevel),
      logFlag_(logFlag),
      logContext_(logContext),
      lineNumber_(lineNumber),
      file_(file),
      function_(function),
      timestamp_(timestamp),
      machThreadID_(currentThreadId()),
      queueLabel_(currentQueueLabel()),
      threadName_(currentThreadName()),
      tag_(std::move(tag)),
      options_(options)
{
    if ((options_ & CopyFile) && file_) fileCopy_ = file_;
    if ((options_ & CopyFunction) && function_) functionCopy_ = function_;
    // A copy requested of an absent pointer stays absent.
    if (!file_) options_ &= ~std::uint32_t(CopyFile);
    if (!function_) options_ &= ~std::uint32_t(CopyFunction);
}

std::string DDLogMessage::fileName() const
{
    const char* path = file();
    if (!path) return {};
    std::string name(path);
    if (auto slash = name.find_last_of('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

}
