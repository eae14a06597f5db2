#pragma once

#include <string>

struct _XDisplay;

namespace tvi {

// Opens and closes the private X connections of the desktop backends: each backend keeps
// its own, used by one thread only, since Xlib connections are not shared between threads.
class X11Connection {
public:
    // Why no X connection can serve global keyboard services here; empty when one can.
    static std::string unavailableReason();
    // A new connection whose loss is reported instead of ending the process; nullptr with
    // the reason when none can be opened.
    static _XDisplay* open(std::string& whyUnavailable);
    static void close(_XDisplay* display);
};

}
