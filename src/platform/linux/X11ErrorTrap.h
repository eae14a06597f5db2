#pragma once

struct _XDisplay;

namespace tvi {

// Process-wide Xlib error handling: Xlib's default handler exits the process on the first error.
// installOnce() replaces it (idempotent, thread-safe) with one that records errors per display and thread
// and never exits on a recoverable error.
class X11ErrorTrap {
public:
    static void installOnce();
    explicit X11ErrorTrap(_XDisplay* display);   // starts recording errors of this thread's requests on display
    ~X11ErrorTrap();
    int check();                                   // XSync, then the first error code recorded (0 = none)

private:
    _XDisplay* display_;
};

}
