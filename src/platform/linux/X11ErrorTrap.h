#pragma once

#include <functional>
#include <string>

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

    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Xlib ends the process when a connection breaks. For a display adopted here the loss is
    // logged and remembered instead; its owner sees connectionLost() and stops using it.
    static void adopt(_XDisplay* display);
    static bool connectionLost(_XDisplay* display);
    // Called (on the thread that noticed) when any adopted connection is lost; the session's
    // shutdown sequence hooks in here. Empty by default: the loss is only logged.
    static void setConnectionLostHandler(std::function<void(const std::string& displayName)> handler);
    // Forgets an adopted display; call before XCloseDisplay.
    static void release(_XDisplay* display);

private:
    _XDisplay* display_;
    unsigned long firstSerial_;
};

}
