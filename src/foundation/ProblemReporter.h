#pragma once

#include "foundation/Format.h"

#include <string>

namespace tvi {

// How foundation reports a problem it recovers from (a corrupt preferences file, say)
// without knowing the logging that sits above it: diagnostics installs the hook when its
// first logger is added; until then a report goes to standard error.
class ProblemReporter {
public:
    struct Problem {
        const char* file;
        const char* function;
        int line;
        std::string text;
    };
    using Hook = void (*)(const Problem& problem);

    ProblemReporter() = delete;

    // Thread-safe; null goes back to standard error.
    static void setHook(Hook hook);
    static void report(const Problem& problem);
};

}

// Reports like an error log line: the source file's base name is the format's first "%@".
#define TVI_REPORT_PROBLEM(fmt, ...)                                                                           \
    ::tvi::ProblemReporter::report({__FILE__, __func__, __LINE__,                                              \
                                    ::tvi::format((fmt), ::tvi::fileBaseName(__FILE__) __VA_OPT__(, ) __VA_ARGS__)})
