#pragma once

#include <functional>

namespace tvi {

// At logout the X server goes away under a running Telvora. Every X connection of ours is
// adopted by X11ErrorTrap, so its loss is reported instead of ending the process; this asks
// for the orderly shutdown then. Qt's own connection is adopted too, so that Qt's Xlib calls
// on it do not end the process either (Qt's xcb side still exits, which the runner's exit
// hook turns into the same shutdown).
class X11DisplayLoss {
public:
    X11DisplayLoss() = delete;

    // After the QApplication exists; `requestShutdown` is called from the thread that noticed.
    static void install(std::function<void()> requestShutdown);
};

}
