#include "PeerWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace tvi::peer {

namespace {
constexpr const char* kIdentifier = "com.orvella.phoneclient";
constexpr const char* kTitle = "Calvetto";

void setCardinal(Display* display, Window window, const char* name, long value)
{
    XChangeProperty(display, window, XInternAtom(display, name, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
}
}

struct PeerWindow::State {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
    int wakePipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::thread thread;

    // Serves the window's events until stopped; a close request from the window manager
    // hides the window instead of ending the connection under the program's feet.
    void serve()
    {
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        while (!stopping) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                    XUnmapWindow(display, window);
            }
            XFlush(display);
            if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        }
    }
};

PeerWindow::PeerWindow() : state_(std::make_unique<State>()) {}

PeerWindow::~PeerWindow()
{
    if (state_->thread.joinable()) {
        state_->stopping = true;
        const char byte = 0;
        [[maybe_unused]] auto written = write(state_->wakePipe[1], &byte, 1);
        state_->thread.join();
    }
    if (state_->display) XCloseDisplay(state_->display);
    for (int fd : state_->wakePipe)
        if (fd >= 0) close(fd);
}

unsigned long PeerWindow::windowId() const { return state_->window; }

bool PeerWindow::open(std::string* error)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        if (error) *error = "no X display: DISPLAY is not set";
        return false;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        if (error) *error = std::string("cannot open X display \"") + name + "\"";
        return false;
    }
    state_->display = display;
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 40, 40, 260, 120, 1,
                                              BlackPixel(display, screen), WhitePixel(display, screen));
    state_->window = window;

    XClassHint classHint;
    classHint.res_name = const_cast<char*>(kIdentifier);
    classHint.res_class = const_cast<char*>(kIdentifier);
    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    char hostName[256] = {};
    gethostname(hostName, sizeof hostName - 1);
    char* hostList[] = {hostName};
    XTextProperty machine{};
    XStringListToTextProperty(hostList, 1, &machine);
    XSetWMProperties(display, window, nullptr, nullptr, nullptr, 0, nullptr, &wmHints, &classHint);
    XSetWMClientMachine(display, window, &machine);
    XFree(machine.value);
    XStoreName(display, window, kTitle);
    const std::string title = kTitle;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    setCardinal(display, window, "_NET_WM_PID", static_cast<long>(getpid()));
    state_->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &state_->deleteWindow, 1);

    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    XMapRaised(display, window);
    XFlush(display);
    // Mapped means the window manager has let it through: wait for MapNotify.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool mapped = false;
    while (!mapped && std::chrono::steady_clock::now() < deadline) {
        XEvent event;
        if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) {
            mapped = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!mapped) {
        if (error) *error = "the window was not mapped within 10 s";
        return false;
    }
    if (pipe(state_->wakePipe) != 0) {
        if (error) *error = "no pipe for the window's event thread";
        return false;
    }
    state_->thread = std::thread([state = state_.get()] { state->serve(); });
    return true;
}

}
