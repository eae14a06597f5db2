#pragma once
// Another X client of the session's display, for the desktop tests that check Telvora's key grabs.
#include "support/DesktopSession.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>

namespace tvi::test {

// A second X client that tries the grabs itself: a grab Telvora holds fails with BadAccess.
class ForeignXClient {
public:
    ForeignXClient() : display_(XOpenDisplay(nullptr))
    {
        XSetErrorHandler([](Display*, XErrorEvent* error) {
            lastError() = error->error_code;
            return 0;
        });
    }
    ~ForeignXClient()
    {
        if (display_) XCloseDisplay(display_);
    }
    ForeignXClient(const ForeignXClient&) = delete;
    ForeignXClient& operator=(const ForeignXClient&) = delete;

    bool isOpen() const { return display_ != nullptr; }

    // Grabs the combination (exactly these modifiers) on the root window; false when refused.
    bool grab(unsigned modifiers, KeySym key)
    {
        lastError() = Success;
        XGrabKey(display_, code(key), modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        return lastError() == Success;
    }

    void ungrab(unsigned modifiers, KeySym key)
    {
        XUngrabKey(display_, code(key), modifiers, DefaultRootWindow(display_));
        XSync(display_, False);
    }

    // True when nobody holds the combination: grabbed and let go again at once.
    bool isFree(unsigned modifiers, KeySym key)
    {
        if (!grab(modifiers, key)) return false;
        ungrab(modifiers, key);
        return true;
    }

    // Waits (the release may be finished on Telvora's main queue after the reply) for the state.
    bool becomesFree(unsigned modifiers, KeySym key, bool free = true)
    {
        return waitUntil([&] { return isFree(modifiers, key) == free; }, std::chrono::seconds(10));
    }

private:
    static int& lastError()
    {
        static int error = Success;
        return error;
    }
    KeyCode code(KeySym key) { return XKeysymToKeycode(display_, key); }

    Display* display_;
};

}
