#include "platform/linux/X11Connection.h"

#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <string_view>

namespace tvi {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}

std::string X11Connection::unavailableReason()
{
    // Under Wayland an X connection reaches only Xwayland: grabs and synthetic keys would
    // work for X windows alone, which looks like working and is not.
    if (!environment("WAYLAND_DISPLAY").empty() || environment("XDG_SESSION_TYPE") == "wayland")
        return "this is a Wayland session";
    if (environment("DISPLAY").empty()) return "no X display (DISPLAY is not set)";
    return {};
}

_XDisplay* X11Connection::open(std::string& whyUnavailable)
{
    whyUnavailable = unavailableReason();
    if (!whyUnavailable.empty()) return nullptr;
    X11ErrorTrap::installOnce();
    // A busy X server refuses connections for a moment (EAGAIN) when many arrive at once.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 10 && !display; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        display = XOpenDisplay(nullptr);
    }
    if (!display) {
        whyUnavailable = "cannot open X display " + environment("DISPLAY");
        return nullptr;
    }
    X11ErrorTrap::adopt(display);
    return display;
}

void X11Connection::close(_XDisplay* display)
{
    if (!display) return;
    X11ErrorTrap::release(display);
    XCloseDisplay(display);
}

}
