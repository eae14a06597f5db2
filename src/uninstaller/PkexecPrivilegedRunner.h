#pragma once

// The privileged step through pkexec and the fixed helper the package installs; polkit asks
// for the administrator password. pkexec's own statuses become the outcome: 126 (prompt
// dismissed) is "User canceled." -128; anything else that is not 0 carries the helper's or
// pkexec's message and the status as its number. Before that, polkit is asked whether pkexec
// could run the helper at all.
#include "PrivilegedRunner.h"

namespace sarnex {

class PkexecPrivilegedRunner : public PrivilegedRunner {
public:
    static constexpr const char* kHelper = "/usr/lib/telvora/sarnex-uninstall-helper";
    static constexpr const char* kActionId = "com.orvella.SarnexUninstall.remove";
    std::optional<std::string> whyItCannotRun() override;
    PrivilegedOutcome run() override;
    // The mapping alone, for a finished pkexec.
    static PrivilegedOutcome outcomeOf(int exitStatus, const std::string& standardOutput,
                                       const std::string& standardError);
};

}
