#include "platform/linux/X11Workspace.h"

#include "platform/linux/DesktopEntryIds.h"
#include "platform/linux/TVIWorkspaceChangeWatcher.h"
#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <deque>

namespace tvi {

struct X11Workspace::Impl {
    Display* display = nullptr;
    Window root = 0;
    Atom activeWindow = 0, clientList = 0, supportingCheck = 0, windowPid = 0;
    DesktopEntryIds ids;

    ~Impl()
    {
        if (display) XCloseDisplay(display);
    }

    // A window property of 32-bit items (windows, cardinals); empty when absent or gone.
    std::vector<unsigned long> longs(Window window, Atom property, Atom type) const
    {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format, &items, &after,
                               &data) == Success &&
            actualType == type && format == 32 && data) {
            const auto* first = reinterpret_cast<const unsigned long*>(data); // Xlib hands 32-bit items as longs
            values.assign(first, first + items);
        }
        if (data) XFree(data);
        return values;
    }

    bool hasWindowManager() const
    {
        const auto check = longs(root, supportingCheck, XA_WINDOW);
        if (check.empty() || check[0] == 0) return false;
        const auto confirmed = longs(check[0], supportingCheck, XA_WINDOW);
        return !confirmed.empty() && confirmed[0] == check[0];
    }

    std::string windowClass(Window window) const
    {
        XClassHint hint{};
        if (!XGetClassHint(display, window, &hint)) return {};
        std::string result = hint.res_class ? hint.res_class : "";
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return result;
    }

    std::int64_t processId(Window window) const
    {
        const auto pid = longs(window, windowPid, XA_CARDINAL);
        return pid.empty() ? 0 : static_cast<std::int64_t>(pid[0]);
    }

    std::vector<Window> children(Window window) const
    {
        Window rootReturn = 0, parent = 0;
        Window* list = nullptr;
        unsigned int count = 0;
        std::vector<Window> result;
        if (XQueryTree(display, window, &rootReturn, &parent, &list, &count) && list) result.assign(list, list + count);
        if (list) XFree(list);
        return result;
    }

    Window parentOf(Window window) const
    {
        Window rootReturn = 0, parent = 0;
        Window* list = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &rootReturn, &parent, &list, &count)) return 0;
        if (list) XFree(list);
        return parent;
    }

    // The application window at or below a top-level window (window managers put a frame around it).
    Window clientBelow(Window topLevel) const
    {
        std::deque<Window> queue{topLevel};
        for (int visited = 0; !queue.empty() && visited < 64; ++visited) {
            const Window window = queue.front();
            queue.pop_front();
            if (!windowClass(window).empty()) return window;
            for (Window child : children(window)) queue.push_back(child);
        }
        return 0;
    }

    // The application window that holds `window`, a focused subwindow for instance.
    Window clientHolding(Window window) const
    {
        for (int depth = 0; window != 0 && window != root && depth < 64; ++depth) {
            if (!windowClass(window).empty()) return window;
            const Window parent = parentOf(window);
            if (parent == root) return clientBelow(window);
            window = parent;
        }
        return 0;
    }

    Window frontWindow() const
    {
        if (hasWindowManager()) {
            const auto active = longs(root, activeWindow, XA_WINDOW);
            return active.empty() ? 0 : clientHolding(active[0]);
        }
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus == None || focus == PointerRoot) return 0;
        return clientHolding(focus);
    }

    std::vector<Window> applicationWindows() const
    {
        if (hasWindowManager()) {
            const auto clients = longs(root, clientList, XA_WINDOW);
            return std::vector<Window>(clients.begin(), clients.end());
        }
        std::vector<Window> windows;
        for (Window topLevel : children(root)) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, topLevel, &attributes) || attributes.map_state != IsViewable) continue;
            if (const Window client = clientBelow(topLevel)) windows.push_back(client);
        }
        return windows;
    }

    std::string identifier(Window window) { return ids.identifierForWindowClass(windowClass(window)); }

    bool activate(Window window)
    {
        if (!hasWindowManager()) {
            X11ErrorTrap trap(display);
            XRaiseWindow(display, window);
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            return trap.check() == 0;
        }
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = activeWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // source indication: a pager, which window managers obey
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        X11ErrorTrap trap(display);
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        return trap.check() == 0;
    }
};

std::shared_ptr<X11Workspace> X11Workspace::create(std::string& whyUnavailable)
{
    X11ErrorTrap::installOnce();
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(nullptr);
    if (!impl->display) {
        whyUnavailable = "cannot open the X display";
        return nullptr;
    }
    // A lost display leaves the queries unanswered; Xlib must not end the process for it.
    X11ErrorTrap::adopt(impl->display);
    impl->root = DefaultRootWindow(impl->display);
    impl->activeWindow = XInternAtom(impl->display, "_NET_ACTIVE_WINDOW", False);
    impl->clientList = XInternAtom(impl->display, "_NET_CLIENT_LIST", False);
    impl->supportingCheck = XInternAtom(impl->display, "_NET_SUPPORTING_WM_CHECK", False);
    impl->windowPid = XInternAtom(impl->display, "_NET_WM_PID", False);
    return std::shared_ptr<X11Workspace>(new X11Workspace(std::move(impl)));
}

X11Workspace::X11Workspace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Workspace::~X11Workspace() = default;

Workspace::ListenerToken X11Workspace::addWorkspaceChangeListener(ChangeListener listener)
{
    if (!changeWatcher_)
        changeWatcher_ = std::make_unique<TVIWorkspaceChangeWatcher>([this] { changeListeners_.notifyAll(); });
    return changeListeners_.add(std::move(listener));
}

void X11Workspace::removeWorkspaceChangeListener(ListenerToken token) { changeListeners_.remove(token); }

bool X11Workspace::isAvailable() const { return true; }

std::optional<std::string> X11Workspace::frontmostApplicationBundleIdentifier() const
{
    std::lock_guard lock(mutex_);
    const Window front = impl_->frontWindow();
    if (!front) return std::nullopt;
    std::string id = impl_->identifier(front);
    if (id.empty()) return std::nullopt;
    return id;
}

std::vector<RunningApplication> X11Workspace::runningApplicationsWithBundleIdentifier(
    const std::string& bundleIdentifier) const
{
    std::lock_guard lock(mutex_);
    std::vector<RunningApplication> running;
    for (Window window : impl_->applicationWindows()) {
        if (impl_->identifier(window) != bundleIdentifier) continue;
        const RunningApplication application{bundleIdentifier, impl_->processId(window)};
        // One entry per process, however many windows it shows.
        if (std::find(running.begin(), running.end(), application) == running.end()) running.push_back(application);
    }
    return running;
}

bool X11Workspace::activateApplication(const RunningApplication& application)
{
    std::lock_guard lock(mutex_);
    for (Window window : impl_->applicationWindows()) {
        if (impl_->identifier(window) != application.bundleIdentifier) continue;
        if (application.processIdentifier != 0 && impl_->processId(window) != application.processIdentifier) continue;
        return impl_->activate(window);
    }
    return false;
}

}
