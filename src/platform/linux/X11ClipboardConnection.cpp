#include "platform/linux/X11ClipboardConnection.h"

#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>

#include <vector>

namespace tvi {

struct X11ClipboardConnection::Impl {
    using Clock = std::chrono::steady_clock;
    using Match = std::function<bool(const XEvent&)>;

    Display* display = nullptr;
    Window window = 0;
    int fixesEventBase = 0;
    Atom clipboard = 0, utf8String = 0, targets = 0, text = 0, timestamp = 0, incr = 0;
    Atom transferProperty = 0, timeProperty = 0;
    OwnerChanged ownerChanged;

    bool owned = false;
    Time ownedSince = CurrentTime;
    std::optional<std::string> ownedText;
    bool broken = false;

    ~Impl()
    {
        if (!display) return;
        if (window) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }

    Atom atom(const char* name) const { return XInternAtom(display, name, False); }
    Atom selectionAtom(Selection selection) const { return selection == Selection::Clipboard ? clipboard : XA_PRIMARY; }

    void dispatch(XEvent& event)
    {
        if (event.type == fixesEventBase + XFixesSelectionNotify) {
            const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
            // Our own takeover is no change of content; what we announce ourselves is counted by the caller.
            if (notify.selection == clipboard && notify.owner != window && ownerChanged) ownerChanged();
        } else if (event.type == SelectionRequest) {
            serve(event.xselectionrequest);
        } else if (event.type == SelectionClear && event.xselectionclear.selection == clipboard) {
            // A late clear of an ownership we have since taken again must not drop the text.
            if (XGetSelectionOwner(display, clipboard) != window) {
                owned = false;
                ownedText.reset();
            }
        }
    }

    bool dispatchPending()
    {
        if (X11ErrorTrap::connectionLost(display)) broken = true;
        while (!broken && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            dispatch(event);
        }
        return !broken;
    }

    // Waits for the first event that matches, handling every other one meanwhile.
    bool waitFor(const Match& match, XEvent& found, std::chrono::milliseconds patience = kReplyPatience)
    {
        const auto deadline = Clock::now() + patience;
        for (;;) {
            while (XPending(display) > 0) {
                XNextEvent(display, &found);
                if (match(found)) return true;
                dispatch(found);
            }
            if (X11ErrorTrap::connectionLost(display)) {
                broken = true;
                return false;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) < 0) return false;
            if (fd.revents & (POLLHUP | POLLERR)) {
                broken = true;
                return false;
            }
        }
    }

    // The server's time now, from a zero-length append to our own window.
    Time serverTime()
    {
        XChangeProperty(display, window, timeProperty, XA_INTEGER, 8, PropModeAppend, nullptr, 0);
        XEvent event;
        const bool arrived = waitFor(
            [&](const XEvent& e) {
                return e.type == PropertyNotify && e.xproperty.window == window && e.xproperty.atom == timeProperty;
            },
            event);
        return arrived ? event.xproperty.time : CurrentTime;
    }

    struct Property {
        Atom type = None;
        std::string bytes;
        bool ok = false;
    };

    // Reads and deletes the transfer property; only 8-bit data is text.
    Property takeProperty()
    {
        Property property;
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        const long maxLongs = static_cast<long>(kMaxTextBytes / 4 + 1);
        if (XGetWindowProperty(display, window, transferProperty, 0, maxLongs, True, AnyPropertyType, &type, &format,
                               &items, &after, &data) != Success)
            return property;
        property.type = type;
        property.ok = after == 0 && (type == incr || format == 8);
        if (property.ok && format == 8 && data) property.bytes.assign(reinterpret_cast<char*>(data), items);
        if (data) XFree(data);
        if (after != 0) XDeleteProperty(display, window, transferProperty);
        return property;
    }

    bool isText(Atom type) const { return type == utf8String || type == XA_STRING || type == text; }

    // An INCR transfer: the owner writes chunk after chunk, each after we deleted the last;
    // an empty chunk ends it.
    std::optional<std::string> readIncrementally()
    {
        std::string collected;
        for (;;) {
            XEvent event;
            const bool arrived = waitFor(
                [&](const XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == window &&
                           e.xproperty.atom == transferProperty && e.xproperty.state == PropertyNewValue;
                },
                event);
            if (!arrived) return std::nullopt;
            const Property chunk = takeProperty();
            if (!chunk.ok) return std::nullopt;
            if (chunk.bytes.empty()) return collected;
            if (!isText(chunk.type)) return std::nullopt;
            if (collected.size() + chunk.bytes.size() > kMaxTextBytes) return std::nullopt;
            collected += chunk.bytes;
        }
    }

    std::optional<std::string> convert(Atom selection)
    {
        XDeleteProperty(display, window, transferProperty);
        XConvertSelection(display, selection, utf8String, transferProperty, window, CurrentTime);
        XEvent event;
        const bool answered = waitFor(
            [&](const XEvent& e) {
                return e.type == SelectionNotify && e.xselection.requestor == window &&
                       e.xselection.selection == selection;
            },
            event);
        if (!answered || event.xselection.property == None) return std::nullopt;
        const Property property = takeProperty();
        if (!property.ok) return std::nullopt;
        if (property.type == incr) return readIncrementally();
        // Some owners answer any target with what they hold (an image, say): that is no text.
        if (!isText(property.type)) return std::nullopt;
        return property.bytes;
    }

    void serve(const XSelectionRequestEvent& request)
    {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = display;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        reply.property = None;
        // Obsolete requestors name no property: the target is used instead.
        const Atom property = request.property == None ? request.target : request.property;
        X11ErrorTrap trap(display); // the requestor may be gone already
        if (request.selection == clipboard && owned) {
            if (request.target == targets) {
                std::vector<Atom> offered{targets, timestamp};
                if (ownedText) offered.insert(offered.end(), {utf8String, XA_STRING, text});
                XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(offered.data()), static_cast<int>(offered.size()));
                reply.property = property;
            } else if (request.target == timestamp) {
                const long time = static_cast<long>(ownedSince);
                XChangeProperty(display, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&time), 1);
                reply.property = property;
            } else if (ownedText && fitsOneRequest(*ownedText) &&
                       (request.target == utf8String || request.target == XA_STRING || request.target == text)) {
                const Atom type = request.target == text ? utf8String : request.target;
                XChangeProperty(display, request.requestor, property, type, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(ownedText->data()),
                                static_cast<int>(ownedText->size()));
                reply.property = property;
            }
        }
        XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        trap.check();
    }

    // Texts beyond one request would need INCR serving; they are refused instead.
    bool fitsOneRequest(const std::string& bytes) const
    {
        long maxUnits = XExtendedMaxRequestSize(display);
        if (maxUnits == 0) maxUnits = XMaxRequestSize(display);
        return bytes.size() + 64 < static_cast<std::size_t>(maxUnits) * 4;
    }

    bool own(std::optional<std::string> content)
    {
        const Time time = serverTime();
        ownedText = std::move(content);
        owned = true;
        ownedSince = time;
        XSetSelectionOwner(display, clipboard, window, time);
        if (XGetSelectionOwner(display, clipboard) == window) return true;
        owned = false;
        ownedText.reset();
        return false;
    }
};

std::unique_ptr<X11ClipboardConnection> X11ClipboardConnection::open(std::string& whyUnavailable)
{
    X11ErrorTrap::installOnce();
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(nullptr);
    if (!impl->display) {
        whyUnavailable = "cannot open the X display";
        return nullptr;
    }
    // A lost display stops this connection; Xlib must not end the process for it.
    X11ErrorTrap::adopt(impl->display);
    int errorBase = 0;
    if (!XFixesQueryExtension(impl->display, &impl->fixesEventBase, &errorBase)) {
        whyUnavailable = "the X server lacks the XFixes extension";
        return nullptr;
    }
    Display* display = impl->display;
    impl->window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, impl->window, PropertyChangeMask);
    impl->clipboard = impl->atom("CLIPBOARD");
    impl->utf8String = impl->atom("UTF8_STRING");
    impl->targets = impl->atom("TARGETS");
    impl->text = impl->atom("TEXT");
    impl->timestamp = impl->atom("TIMESTAMP");
    impl->incr = impl->atom("INCR");
    impl->transferProperty = impl->atom("_TELVORA_SELECTION");
    impl->timeProperty = impl->atom("_TELVORA_TIMESTAMP");
    XFixesSelectSelectionInput(display, impl->window, impl->clipboard, XFixesSetSelectionOwnerNotifyMask);
    XFlush(display);
    return std::unique_ptr<X11ClipboardConnection>(new X11ClipboardConnection(std::move(impl)));
}

X11ClipboardConnection::X11ClipboardConnection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11ClipboardConnection::~X11ClipboardConnection() = default;

void X11ClipboardConnection::setOwnerChanged(OwnerChanged ownerChanged) { impl_->ownerChanged = std::move(ownerChanged); }

int X11ClipboardConnection::fileDescriptor() const { return ConnectionNumber(impl_->display); }

bool X11ClipboardConnection::dispatchPending() { return impl_->dispatchPending(); }

std::optional<std::string> X11ClipboardConnection::readText(Selection selection)
{
    if (selection == Selection::Clipboard && impl_->owned) return impl_->ownedText;
    return impl_->convert(impl_->selectionAtom(selection));
}

bool X11ClipboardConnection::ownClipboard(std::optional<std::string> text) { return impl_->own(std::move(text)); }

bool X11ClipboardConnection::ownsClipboard() const { return impl_->owned; }

}
