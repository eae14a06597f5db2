#pragma once

#include "foundation/Format.h"

#include <cstdint>
#include <memory>
#include <string_view>

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

// The logging front end. (Placeholder declaration: the logging work completes it.)
class DDLog {
public:
    template <typename... Args>
    static void log(bool asynchronous, std::int32_t level, std::int32_t flag, std::int32_t context, const char* file,
                    const char* function, int line, const char* format, Args&&... args)
    {
        if (!format) return;
        logText(asynchronous, level, flag, context, file, function, line,
                ::tvi::format(format, std::forward<Args>(args)...));
    }
    static void logText(bool asynchronous, std::int32_t level, std::int32_t flag, std::int32_t context,
                        const char* file, const char* function, int line, std::string text);
};

}
