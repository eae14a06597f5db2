#pragma once

// Runs the uninstaller's privileged step (remove the application folder, purge the suite's
// packages) with administrator rights, asking for the password once.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sarnex {

// What the step reports, in the shape of a script runner's error information: absent when
// it succeeded; otherwise entries such as {"NSAppleScriptErrorMessage", text} and
// {"NSAppleScriptErrorNumber", number}, either of which may be missing.
struct PrivilegedOutcome {
    std::optional<std::vector<std::pair<std::string, std::string>>> errorInfo;
    std::string returned; // what the step printed on success; empty when nothing
};

class PrivilegedRunner {
public:
    static constexpr const char* kMessageKey = "NSAppleScriptErrorMessage";
    static constexpr const char* kNumberKey = "NSAppleScriptErrorNumber";
    // The number the outcome carries when the user dismissed the password prompt.
    static constexpr long kUserCanceled = -128;

    // The status pkexec ends with when it could not ask for the password or was refused.
    static constexpr long kCannotAsk = 127;

    virtual ~PrivilegedRunner() = default;
    // Asked before anything is quit or removed: a plain sentence saying why the step cannot
    // run here at all, or nothing when it may.
    virtual std::optional<std::string> whyItCannotRun() = 0;
    virtual PrivilegedOutcome run() = 0;

    static PrivilegedOutcome failure(const std::string& message, long number)
    {
        return {std::vector<std::pair<std::string, std::string>>{{kMessageKey, message},
                                                                 {kNumberKey, std::to_string(number)}},
                {}};
    }
};

}
