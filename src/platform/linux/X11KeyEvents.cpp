#include "platform/linux/X11KeyEvents.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/linux/TerminalEmulators.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11ErrorTrap.h"
#include "platform/linux/X11FrontWindow.h"
#include "platform/linux/X11KeySymbols.h"
#include "platform/MacKeyCodes.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <future>

namespace tvi {

namespace {

constexpr std::uint64_t kCommandFlag = NSEventModifierFlagCommand;
constexpr std::uint64_t kModifierFlags = NSEventModifierFlagShift | NSEventModifierFlagControl |
                                         NSEventModifierFlagOption | NSEventModifierFlagCommand;

// C with Command and nothing else: the copy the make-call press asks for.
bool isCopyChord(std::uint16_t keyCode, std::uint64_t flags)
{
    return keyCode == kVK_ANSI_C && (flags & kModifierFlags) == kCommandFlag;
}

std::vector<KeySym> modifierSymbols(std::uint64_t flags)
{
    std::vector<KeySym> symbols;
    if (flags & NSEventModifierFlagCommand) symbols.push_back(XK_Super_L);
    if (flags & NSEventModifierFlagControl) symbols.push_back(XK_Control_L);
    if (flags & NSEventModifierFlagOption) symbols.push_back(XK_Alt_L);
    if (flags & NSEventModifierFlagShift) symbols.push_back(XK_Shift_L);
    return symbols;
}

}

std::shared_ptr<X11KeyEvents> X11KeyEvents::create(std::string& whyUnavailable,
                                                   std::shared_ptr<ClipboardTakeover> clipboard)
{
    Display* display = X11Connection::open(whyUnavailable);
    if (!display) return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        whyUnavailable = "the X server has no XTEST extension";
        X11Connection::close(display);
        return nullptr;
    }
    return std::make_shared<X11KeyEvents>(display, std::move(clipboard));
}

X11KeyEvents::X11KeyEvents(_XDisplay* display, std::shared_ptr<ClipboardTakeover> clipboard)
    : display_(display), clipboard_(std::move(clipboard))
{
    // Synthetic keys must not wait behind another client's server grab.
    XTestGrabControl(display_, True);
    thread_ = std::thread([this] { serve(); });
}

X11KeyEvents::~X11KeyEvents()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool X11KeyEvents::isAvailable() const { return !lost_; }

void X11KeyEvents::enqueue(std::function<void()> task) const
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void X11KeyEvents::serve()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) break; // stopping, and every posted key has been dealt with
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        if (!lost_ && X11ErrorTrap::connectionLost(display_)) {
            lost_ = true;
            DDLogError("%@: Key posting stops: the X connection is gone");
        }
        if (!lost_) followMappingChanges();
        task();
    }
    // No synthetic key stays down after us.
    for (const auto& [keyCode, press] : std::map<std::uint16_t, PostedPress>(posted_)) release(keyCode);
    X11Connection::close(display_);
}

void X11KeyEvents::followMappingChanges()
{
    while (!X11ErrorTrap::connectionLost(display_) && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }
}

std::optional<KeyEvents::ProcessId> X11KeyEvents::frontProcess() const
{
    if (lost_) return std::nullopt;
    std::promise<std::optional<ProcessId>> answer;
    std::future<std::optional<ProcessId>> future = answer.get_future();
    enqueue([this, &answer] {
        answer.set_value(lost_ ? std::nullopt : X11FrontWindow(display_).processId());
    });
    return future.get();
}

bool X11KeyEvents::postKeyDown(std::uint16_t keyCode, std::uint64_t flags)
{
    if (lost_ || !X11KeySymbols::keySymFor(keyCode)) return false;
    enqueue([this, keyCode, flags] { press(keyCode, flags); });
    return true;
}

bool X11KeyEvents::postKeyUp(std::uint16_t keyCode)
{
    if (lost_ || !X11KeySymbols::keySymFor(keyCode)) return false;
    enqueue([this, keyCode] { release(keyCode); });
    return true;
}

bool X11KeyEvents::waitForKeysUp()
{
    const auto deadline = std::chrono::steady_clock::now() + kReleaseTimeout;
    for (;;) {
        char keys[32] = {};
        XQueryKeymap(display_, keys);
        if (std::all_of(std::begin(keys), std::end(keys), [](char byte) { return byte == 0; })) return true;
        if (X11ErrorTrap::connectionLost(display_) || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void X11KeyEvents::press(std::uint16_t keyCode, std::uint64_t flags)
{
    if (lost_) return;
    if (!waitForKeysUp())
        DDLogWarn("%@: Keys are still held after %ld ms; posting key code %hu anyway",
                  static_cast<long>(kReleaseTimeout.count()), keyCode);
    PostedPress posted;
    if (isCopyChord(keyCode, flags)) {
        if (copyWithoutInterrupt()) {
            posted_[keyCode] = posted; // the terminal's selection was copied: nothing to release
            return;
        }
        flags = (flags & ~kCommandFlag) | NSEventModifierFlagControl;
    }
    const KeyCode key = XKeysymToKeycode(display_, *X11KeySymbols::keySymFor(keyCode));
    if (key == 0) {
        DDLogError("%@: Key code %hu has no key in the current layout; nothing posted", keyCode);
        return;
    }
    for (KeySym symbol : modifierSymbols(flags)) {
        const KeyCode modifier = XKeysymToKeycode(display_, symbol);
        if (modifier != 0 && fake(modifier, true)) posted.modifierKeyCodes.push_back(modifier);
    }
    if (fake(key, true)) posted.keyCode = key;
    posted_[keyCode] = posted;
    XSync(display_, False);
}

// Answers true when the front window is a terminal emulator and the copy was done (or
// refused) without keys; false when the chord is to be posted.
bool X11KeyEvents::copyWithoutInterrupt()
{
    const X11FrontWindow front(display_);
    if (front.exists() && TerminalEmulators::isTerminal(front.instanceName(), front.className())) {
        DDLogInfo("%@: The front window is the terminal emulator %@: copying its selection instead of Control+C",
                  front.className());
        if (!clipboard_ || !clipboard_->copyPrimaryToClipboard())
            DDLogWarn("%@: The terminal's selection could not be put on the clipboard");
        return true;
    }
    if (clipboard_ && !clipboard_->takeClipboardOwnership())
        DDLogWarn("%@: Could not take the clipboard before the copy; a repeated copy may go unseen");
    return false;
}

void X11KeyEvents::release(std::uint16_t keyCode)
{
    if (lost_) return;
    auto found = posted_.find(keyCode);
    if (found == posted_.end()) {
        // A release without a press of ours: the key itself, as the caller asked.
        const KeyCode key = XKeysymToKeycode(display_, *X11KeySymbols::keySymFor(keyCode));
        if (key != 0) fake(key, false);
    } else {
        const PostedPress posted = found->second;
        posted_.erase(found);
        if (posted.keyCode != 0) fake(posted.keyCode, false);
        for (auto it = posted.modifierKeyCodes.rbegin(); it != posted.modifierKeyCodes.rend(); ++it)
            fake(*it, false);
    }
    XSync(display_, False);
}

bool X11KeyEvents::fake(unsigned int keyCode, bool down)
{
    return XTestFakeKeyEvent(display_, keyCode, down ? True : False, CurrentTime) != 0;
}

}
