#include "platform/linux/X11Display.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace tvi {

bool X11Display::isReachable(std::string& whyNot)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        whyNot = "DISPLAY is not set";
        return false;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        whyNot = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(display);
    return true;
}

}
