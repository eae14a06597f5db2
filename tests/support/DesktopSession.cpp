#include "support/DesktopSession.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tvi::test {

std::string desktopSessionProblem()
{
    const char* display = std::getenv("DISPLAY");
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string missing;
    if (!display || !*display) missing = "DISPLAY is not set";
    else if (!bus || !*bus) missing = "DBUS_SESSION_BUS_ADDRESS is not set";
    else if (runCommand("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1").output.find("window id") == std::string::npos)
        missing = "no EWMH window manager on display " + std::string(display);
    if (missing.empty()) return {};
    return "this desktop test needs an X11 desktop session (" + missing +
           "); run it through scripts/desktop-session.sh, as scripts/test.sh does";
}

CommandResult runCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!result.output.empty() && (result.output.back() == '\n' || result.output.back() == '\r'))
        result.output.pop_back();
    return result;
}

unsigned long activeWindow()
{
    const CommandResult result = runCommand("xdotool getactivewindow 2>/dev/null");
    return result.status == 0 ? std::strtoul(result.output.c_str(), nullptr, 10) : 0;
}

std::string windowClass(unsigned long window)
{
    if (window == 0) return {};
    // WM_CLASS(STRING) = "instance", "class"
    const std::string text = runCommand("xprop -id " + std::to_string(window) + " WM_CLASS 2>/dev/null").output;
    const auto last = text.rfind('"');
    if (last == std::string::npos || last == 0) return {};
    const auto first = text.rfind('"', last - 1);
    return first == std::string::npos ? std::string() : text.substr(first + 1, last - first - 1);
}

long windowPid(unsigned long window)
{
    const std::string text = runCommand("xprop -id " + std::to_string(window) + " _NET_WM_PID 2>/dev/null").output;
    const auto equals = text.find(" = ");
    return equals == std::string::npos ? -1 : std::strtol(text.c_str() + equals + 3, nullptr, 10);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout, std::chrono::milliseconds step)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

}
