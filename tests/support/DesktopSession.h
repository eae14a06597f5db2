#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tvi::test {

// Empty when this process runs inside an X11 desktop session with a session bus; otherwise a
// message that says what is missing and how to run the desktop tests.
std::string desktopSessionProblem();

struct CommandResult {
    int status = -1;      // exit status of the shell command
    std::string output;   // its standard output, trailing line breaks removed
};
// Runs a shell command (xdotool, xprop, xclip ...) and collects its standard output.
CommandResult runCommand(const std::string& command);

// The X window id and the WM_CLASS class of the active window; 0 and "" when there is none.
unsigned long activeWindow();
std::string windowClass(unsigned long window);
// The _NET_WM_PID of a window, or -1.
long windowPid(unsigned long window);

// Polls the condition until it holds or the time-out passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20));

}
