#pragma once

#include <string_view>

namespace tvi {

// Terminal emulators, known by the WM_CLASS of their windows. A Control+C there interrupts
// the user's running program instead of copying, so the copy chord is never sent to them.
class TerminalEmulators {
public:
    // Either part of WM_CLASS (instance or class) naming a terminal counts, ignoring case.
    static bool isTerminal(std::string_view instanceName, std::string_view className);
};

}
