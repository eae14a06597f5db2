#include "desktop/X11TestClient.h"

#include "platform/linux/X11ErrorTrap.h"
#include "support/DrainMainQueue.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace tvi::test {

X11TestClient::X11TestClient()
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        ADD_FAILURE() << "desktop tests need an X display: set DISPLAY (scripts/test.sh starts a session)";
        return;
    }
    X11ErrorTrap::installOnce();
    for (int attempt = 0; attempt < 10 && !display_; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20)); // EAGAIN under load
        display_ = XOpenDisplay(nullptr);
    }
    if (!display_) ADD_FAILURE() << "cannot open X display " << name;
}

X11TestClient::~X11TestClient()
{
    if (!display_) return;
    if (window_) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

KeyCode X11TestClient::keyCode(KeySym symbol) const { return XKeysymToKeycode(display_, symbol); }

int X11TestClient::grab(KeySym symbol, unsigned int modifiers)
{
    X11ErrorTrap trap(display_);
    XGrabKey(display_, keyCode(symbol), modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
    return trap.check();
}

void X11TestClient::ungrab(KeySym symbol, unsigned int modifiers)
{
    XUngrabKey(display_, keyCode(symbol), modifiers, DefaultRootWindow(display_));
    XSync(display_, False);
}

void X11TestClient::key(KeySym symbol, bool down)
{
    XTestFakeKeyEvent(display_, keyCode(symbol), down ? True : False, CurrentTime);
    XSync(display_, False);
}

Window X11TestClient::openFocusedWindow(const std::string& instanceName, const std::string& className,
                                        long processId)
{
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 200, 100, 0, 0, 0);
    std::string instance = instanceName;
    std::string klass = className;
    XClassHint hint{instance.data(), klass.data()};
    XSetClassHint(display_, window_, &hint);
    const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    const unsigned long pid = static_cast<unsigned long>(processId);
    XChangeProperty(display_, window_, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XSelectInput(display_, window_, KeyPressMask | ExposureMask | StructureNotifyMask);
    XMapRaised(display_, window_);
    for (XEvent event;;) {
        XNextEvent(display_, &event);
        if (event.type == MapNotify) break;
    }
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
    return window_;
}

std::vector<XKeyEvent> X11TestClient::keyPresses(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    do {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == KeyPress) presses_.push_back(event.xkey);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
    return presses_;
}

bool serveMainQueueUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        drainMainQueue();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}
