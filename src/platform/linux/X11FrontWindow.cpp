#include "platform/linux/X11FrontWindow.h"

#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tvi {

namespace {

// One 32-bit item of a window property, or absent.
std::optional<unsigned long> cardinalProperty(Display* display, Window window, const char* name, Atom type)
{
    const Atom property = XInternAtom(display, name, False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    X11ErrorTrap trap(display); // the window may be gone already
    const int status = XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count,
                                          &remaining, &data);
    std::optional<unsigned long> value;
    if (trap.check() == 0 && status == Success && data && actualType == type && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data); // format 32 arrives as longs
    if (data) XFree(data);
    return value;
}

}

X11FrontWindow::X11FrontWindow(_XDisplay* display) : display_(display)
{
    const Window active = activeWindow();
    if (active != 0 && readClass(active)) {
        window_ = active;
        return;
    }
    window_ = focusedClient();
}

unsigned long X11FrontWindow::activeWindow() const
{
    return cardinalProperty(display_, DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW", XA_WINDOW).value_or(0);
}

unsigned long X11FrontWindow::focusedClient()
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    const Window root = DefaultRootWindow(display_);
    // The focus may sit on a child of the application's top-level window.
    for (Window window = focus; window != None && window != PointerRoot && window != root;) {
        if (readClass(window)) return window;
        Window parentRoot = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        X11ErrorTrap trap(display_);
        const Status ok = XQueryTree(display_, window, &parentRoot, &parent, &children, &count);
        if (children) XFree(children);
        if (trap.check() != 0 || !ok) break;
        window = parent;
    }
    return (focus == None || focus == PointerRoot) ? 0 : focus;
}

bool X11FrontWindow::readClass(unsigned long window)
{
    XClassHint hint{};
    X11ErrorTrap trap(display_);
    const Status ok = XGetClassHint(display_, window, &hint);
    const bool gone = trap.check() != 0;
    if (ok && !gone) {
        instance_ = hint.res_name ? hint.res_name : "";
        class_ = hint.res_class ? hint.res_class : "";
    }
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return ok && !gone;
}

std::optional<std::int64_t> X11FrontWindow::processId() const
{
    if (window_ == 0) return std::nullopt;
    std::optional<unsigned long> pid = cardinalProperty(display_, window_, "_NET_WM_PID", XA_CARDINAL);
    if (!pid || *pid == 0) return std::nullopt;
    return static_cast<std::int64_t>(*pid);
}

}
