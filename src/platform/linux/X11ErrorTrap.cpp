#include "platform/linux/X11ErrorTrap.h"

#include "diagnostics/DDLogMacros.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace tvi {

namespace {

struct TrapRecord {
    const X11ErrorTrap* trap;
    Display* display;
    std::thread::id thread;
    unsigned long firstSerial;
    int errorCode;
};

struct TrapState {
    std::mutex mutex;
    std::vector<TrapRecord> traps; // innermost last
    std::set<Display*> adopted;
    std::set<Display*> lost;
    std::function<void(const std::string&)> lostHandler;
};

TrapState& state()
{
    static TrapState* s = new TrapState; // outlives every thread that might still report an error
    return *s;
}

int recordError(Display* display, XErrorEvent* event)
{
    TrapState& s = state();
    {
        std::lock_guard lock(s.mutex);
        const std::thread::id self = std::this_thread::get_id();
        for (auto it = s.traps.rbegin(); it != s.traps.rend(); ++it) {
            if (it->display != display || it->thread != self || event->serial < it->firstSerial) continue;
            if (it->errorCode == 0) it->errorCode = event->error_code;
            return 0;
        }
    }
    // Nobody expected it: a late reply to a window that went away, say. Worth a line, never an exit.
    DDLogWarn("%@: X error %d on request %d.%d (resource 0x%lx) outside any trap", int(event->error_code),
              int(event->request_code), int(event->minor_code), static_cast<unsigned long>(event->resourceid));
    return 0;
}

int reportLostConnection(Display* display)
{
    std::string name = DisplayString(display) ? DisplayString(display) : "";
    std::function<void(const std::string&)> handler;
    bool adopted = false;
    {
        TrapState& s = state();
        std::lock_guard lock(s.mutex);
        adopted = s.adopted.count(display) > 0;
        s.lost.insert(display);
        handler = s.lostHandler;
    }
    DDLogError("%@: Lost the connection to X display %@%@", name,
               std::string(adopted ? "" : "; Xlib ends the process now"));
    if (handler) handler(name);
    return 0;
}

// Called by Xlib instead of exit() for adopted displays: their owners stop on connectionLost().
void keepRunning(Display*, void*) {}

}

void X11ErrorTrap::installOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(recordError);
        XSetIOErrorHandler(reportLostConnection);
    });
}

X11ErrorTrap::X11ErrorTrap(_XDisplay* display) : display_(display), firstSerial_(NextRequest(display))
{
    installOnce();
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    s.traps.push_back({this, display_, std::this_thread::get_id(), firstSerial_, 0});
}

X11ErrorTrap::~X11ErrorTrap()
{
    // Errors of requests made under the trap must not surface after it as unexpected ones.
    if (!connectionLost(display_)) XSync(display_, False);
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    auto it = std::find_if(s.traps.begin(), s.traps.end(), [this](const TrapRecord& r) { return r.trap == this; });
    if (it != s.traps.end()) s.traps.erase(it);
}

int X11ErrorTrap::check()
{
    if (connectionLost(display_)) return BadImplementation;
    XSync(display_, False);
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    for (const TrapRecord& r : s.traps)
        if (r.trap == this) return r.errorCode;
    return 0;
}

void X11ErrorTrap::adopt(_XDisplay* display)
{
    installOnce();
    {
        TrapState& s = state();
        std::lock_guard lock(s.mutex);
        s.adopted.insert(display);
    }
    XSetIOErrorExitHandler(display, keepRunning, nullptr);
}

bool X11ErrorTrap::connectionLost(_XDisplay* display)
{
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    return s.lost.count(display) > 0;
}

void X11ErrorTrap::setConnectionLostHandler(std::function<void(const std::string& displayName)> handler)
{
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    s.lostHandler = std::move(handler);
}

void X11ErrorTrap::release(_XDisplay* display)
{
    TrapState& s = state();
    std::lock_guard lock(s.mutex);
    s.adopted.erase(display);
    s.lost.erase(display);
}

}
