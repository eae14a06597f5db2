// The X11 pasteboard's change signal: how long after another client takes CLIPBOARD the
// listener runs, and how often the pasteboard's thread wakes while nothing happens.
// Needs DISPLAY.
#include "platform/linux/X11Pasteboard.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

// Last: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;

// Context switches of every thread of this process but the calling one.
long otherThreadsSwitches()
{
    long total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return -1;
    const std::string self = std::to_string(gettid());
    while (dirent* entry = readdir(tasks)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == self) continue;
        std::ifstream status("/proc/self/task/" + name + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    closedir(tasks);
    return total;
}

}

int main()
{
    std::string why;
    auto pasteboard = tvi::X11Pasteboard::create(why);
    if (!pasteboard) {
        std::fprintf(stderr, "no X11 pasteboard: %s\n", why.c_str());
        return 1;
    }
    std::mutex mutex;
    std::condition_variable signalled;
    Clock::time_point signalledAt;
    pasteboard->addChangeListener([&] {
        std::lock_guard lock(mutex);
        signalledAt = Clock::now();
        signalled.notify_all();
    });

    Display* display = XOpenDisplay(nullptr);
    const Window owner = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    std::vector<double> latencies;
    for (int i = 0; i < 500; ++i) {
        const std::int64_t before = pasteboard->changeCount();
        std::unique_lock lock(mutex);
        const Clock::time_point start = Clock::now();
        XSetSelectionOwner(display, clipboard, owner, CurrentTime);
        XFlush(display);
        signalled.wait_for(lock, std::chrono::seconds(2), [&] { return pasteboard->changeCount() > before; });
        latencies.push_back(std::chrono::duration<double, std::milli>(signalledAt - start).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("SetSelectionOwner -> change signal over %zu copies: p50 %.3f ms, p99 %.3f ms\n", latencies.size(),
                latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);

    // A whole xclip write, its process start included.
    std::vector<double> xclipLatencies;
    for (int i = 0; i < 30; ++i) {
        const std::int64_t before = pasteboard->changeCount();
        const Clock::time_point start = Clock::now();
        if (std::system("printf 0891234 | xclip -selection clipboard >/dev/null 2>&1") != 0) break;
        std::unique_lock lock(mutex);
        signalled.wait_for(lock, std::chrono::seconds(2), [&] { return pasteboard->changeCount() > before; });
        xclipLatencies.push_back(std::chrono::duration<double, std::milli>(signalledAt - start).count());
    }
    std::sort(xclipLatencies.begin(), xclipLatencies.end());
    if (!xclipLatencies.empty())
        std::printf("xclip write -> change signal over %zu writes: p50 %.2f ms, max %.2f ms\n", xclipLatencies.size(),
                    xclipLatencies[xclipLatencies.size() / 2], xclipLatencies.back());
    pasteboard->takeClipboardOwnership(); // ends the last xclip

    const long switchesBefore = otherThreadsSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("idle for 5 s: %ld wake-ups of the pasteboard's thread\n", otherThreadsSwitches() - switchesBefore);
    XCloseDisplay(display);
    return 0;
}
