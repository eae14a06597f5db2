// Hot-key press latency on a real X server: an XTest key press posted by another client
// until the handler runs on the main queue.
//   DISPLAY=:N x11_hotkey_bench [presses, default 500]
//
// The press travels: XTest request -> server -> the backend's connection thread (poll wakes,
// XNextEvent) -> main queue -> handler. Two thread hand-offs on our side, so the figure is
// dominated by wake-up latency, not by work.
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/MacKeyCodes.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace tvi;
using Clock = std::chrono::steady_clock;

namespace {

struct Rendezvous {
    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point handled;
    int presses = 0;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// Presses Super+F8 `count` times from a client of its own; answers press -> handler times in ms.
std::vector<double> pressRepeatedly(Rendezvous& rendezvous, int count)
{
    std::vector<double> latencies;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return latencies;
    const KeyCode super = XKeysymToKeycode(display, XK_Super_L);
    const KeyCode f8 = XKeysymToKeycode(display, XK_F8);
    for (int i = 0; i < count; ++i) {
        XTestFakeKeyEvent(display, super, True, CurrentTime);
        XSync(display, False);
        const Clock::time_point sent = Clock::now();
        XTestFakeKeyEvent(display, f8, True, CurrentTime);
        XFlush(display);
        std::unique_lock lock(rendezvous.mutex);
        if (!rendezvous.changed.wait_for(lock, std::chrono::seconds(2), [&] { return rendezvous.presses > i; })) {
            std::fprintf(stderr, "press %d never reached the handler\n", i);
            break;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(rendezvous.handled - sent).count());
        lock.unlock();
        XTestFakeKeyEvent(display, f8, False, CurrentTime);
        XTestFakeKeyEvent(display, super, False, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XCloseDisplay(display);
    return latencies;
}

}

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    std::string why;
    std::shared_ptr<X11HotKeys> hotKeys = X11HotKeys::create(why);
    if (!hotKeys) {
        std::fprintf(stderr, "x11_hotkey_bench: no X11 hot keys here: %s\n", why.c_str());
        return 1;
    }
    Rendezvous rendezvous;
    hotKeys->installEventHandler([&](const HotKeyEvent&) {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(rendezvous.mutex);
        rendezvous.handled = now;
        ++rendezvous.presses;
        rendezvous.changed.notify_all();
        return noErr;
    });
    if (hotKeys->registerEventHotKey(kVK_F8, cmdKey, {1, 1}, kEventHotKeyNoOptions).status != noErr) {
        std::fprintf(stderr, "x11_hotkey_bench: Super+F8 is taken by another client\n");
        return 1;
    }
    std::vector<double> latencies;
    std::thread presser([&] {
        latencies = pressRepeatedly(rendezvous, count);
        DispatchQueue::main()->async([] { MainRunLoop::shared().stop(); });
    });
    MainRunLoop::shared().run();
    presser.join();
    if (latencies.empty()) return 1;
    std::printf("X11 hot key, XTest press -> handler on the main queue (%zu presses): p50 %.3f ms, p99 %.3f ms\n",
                latencies.size(), percentile(latencies, 0.50), percentile(latencies, 0.99));
    return 0;
}
