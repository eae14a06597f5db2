#include "platform/linux/X11HotKeys.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11ErrorTrap.h"
#include "platform/linux/X11KeyGrabber.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <future>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tvi {

namespace {

constexpr std::uint32_t kLargestKeyCode = 0x7F;

}

std::shared_ptr<X11HotKeys> X11HotKeys::create(std::string& whyUnavailable)
{
    Display* display = X11Connection::open(whyUnavailable);
    if (!display) return nullptr;
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        whyUnavailable = "cannot create a wake-up descriptor";
        X11Connection::close(display);
        return nullptr;
    }
    return std::make_shared<X11HotKeys>(display, wakeFd);
}

X11HotKeys::X11HotKeys(_XDisplay* display, int wakeFd)
    : display_(display), wakeFd_(wakeFd), grabber_(std::make_unique<X11KeyGrabber>(display))
{
    // Held keys repeat as presses alone, without releases in between, so a repeat is told
    // apart from a new press of the hot key.
    XkbSetDetectableAutoRepeat(display_, True, nullptr);
    thread_ = std::thread([this] { serve(); });
}

X11HotKeys::~X11HotKeys()
{
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    thread_.join();
    close(wakeFd_);
}

bool X11HotKeys::isAvailable() const { return !lost_; }

void X11HotKeys::runOnConnectionThread(const std::function<void()>& task)
{
    std::promise<void> done;
    {
        std::lock_guard lock(tasksMutex_);
        tasks_.emplace_back([&] {
            task();
            done.set_value();
        });
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    done.get_future().wait();
}

void X11HotKeys::runQueuedTasks()
{
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t readBytes = read(wakeFd_, &count, sizeof count);
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(tasksMutex_);
        tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
}

void X11HotKeys::serve()
{
    while (!stopping_) {
        runQueuedTasks();
        while (!lost_ && !X11ErrorTrap::connectionLost(display_) && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            handleEvent(event);
        }
        if (!lost_ && X11ErrorTrap::connectionLost(display_)) {
            lost_ = true;
            DDLogError("%@: Hot keys stop: the X connection is gone");
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {ConnectionNumber(display_), POLLIN, 0}};
        poll(fds, lost_ ? 1 : 2, -1);
    }
    runQueuedTasks(); // callers waiting for a task are answered even while stopping
    if (!lost_) {
        for (const auto& [combination, count] : grabs_) grabber_->ungrab(combination.first, combination.second);
    }
    X11Connection::close(display_);
}

void X11HotKeys::handleEvent(XEvent& event)
{
    switch (event.type) {
    case KeyPress:
        keyPressed(event.xkey.keycode, event.xkey.state);
        break;
    case KeyRelease:
        held_.erase(event.xkey.keycode);
        break;
    case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        if (event.xmapping.request != MappingPointer) keyboardMappingChanged();
        break;
    default:
        break;
    }
}

void X11HotKeys::keyPressed(unsigned int keyCode, unsigned int state)
{
    if (!held_.insert(keyCode).second) return;
    const unsigned int modifiers = X11KeyGrabber::significantModifiers(state);
    std::weak_ptr<const X11HotKeys> weak = weak_from_this();
    for (const auto& [ref, registration] : registrations_) {
        if (registration.xKeyCode != keyCode || registration.xModifiers != modifiers) continue;
        HotKeyEvent event{kEventClassKeyboard, kEventHotKeyPressed, registration.hotKeyID};
        DispatchQueue::main()->async([weak, event] {
            if (auto self = weak.lock()) self->deliver(event);
        });
    }
}

void X11HotKeys::keyboardMappingChanged()
{
    // The same symbols may now sit on other keys: release every grab under the old mapping
    // (and the old lock masks), then grab again where the symbols are now.
    for (const auto& [combination, count] : grabs_) grabber_->ungrab(combination.first, combination.second);
    grabs_.clear();
    held_.clear();
    grabber_->refreshLockMasks();
    for (auto& [ref, registration] : registrations_) {
        registration.xKeyCode = grabber_->keyCodeFor(static_cast<std::uint16_t>(registration.macKeyCode));
        if (registration.xKeyCode == 0) {
            DDLogWarn("%@: Key code %u has no key in the current layout; its hot key waits for another layout",
                      registration.macKeyCode);
            continue;
        }
        const Combination combination{registration.xKeyCode, registration.xModifiers};
        if (auto found = grabs_.find(combination); found != grabs_.end()) {
            ++found->second;
            continue;
        }
        if (int error = grabber_->grab(combination.first, combination.second)) {
            DDLogWarn("%@: Key code %u with modifiers 0x%x could not be grabbed again after a layout change "
                      "(X error %d)", registration.macKeyCode, registration.modifiers, error);
            registration.xKeyCode = 0;
            continue;
        }
        grabs_[combination] = 1;
    }
}

HotKeys::HandlerInstallation X11HotKeys::installEventHandler(EventHandler handler)
{
    if (lost_) return {eventInternalErr, 0};
    if (!handler) return {paramErr, 0};
    std::lock_guard lock(handlersMutex_);
    EventHandlerRef ref = nextHandlerRef_++;
    handlers_.emplace(ref, std::move(handler));
    return {noErr, ref};
}

OSStatus X11HotKeys::removeEventHandler(EventHandlerRef handler)
{
    std::lock_guard lock(handlersMutex_);
    return handlers_.erase(handler) ? noErr : paramErr;
}

HotKeys::HotKeyRegistration X11HotKeys::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                            EventHotKeyID hotKeyID, std::uint32_t options)
{
    if (keyCode > kLargestKeyCode) return {eventHotKeyInvalidErr, 0};
    Registration wanted{keyCode, modifiers, hotKeyID, options, 0, X11KeyGrabber::modifiersForCarbon(modifiers)};
    HotKeyRegistration result{eventInternalErr, 0};
    runOnConnectionThread([&] { result = registerOnConnectionThread(wanted); });
    return result;
}

bool X11HotKeys::takenExclusively(const Combination& combination, bool exclusiveRequest) const
{
    for (const auto& [ref, registration] : registrations_) {
        if (Combination{registration.xKeyCode, registration.xModifiers} != combination) continue;
        if (exclusiveRequest || (registration.options & kEventHotKeyExclusive)) return true;
    }
    return false;
}

HotKeys::HotKeyRegistration X11HotKeys::registerOnConnectionThread(const Registration& wanted)
{
    if (lost_) return {eventInternalErr, 0};
    Registration registration = wanted;
    registration.xKeyCode = grabber_->keyCodeFor(static_cast<std::uint16_t>(wanted.macKeyCode));
    if (registration.xKeyCode == 0) return {eventHotKeyInvalidErr, 0};
    const Combination combination{registration.xKeyCode, registration.xModifiers};
    auto shared = grabs_.find(combination);
    if (shared != grabs_.end()) {
        // Our own grab already serves it: X cannot tell two of our registrations apart.
        if (takenExclusively(combination, wanted.options & kEventHotKeyExclusive)) return {eventHotKeyExistsErr, 0};
        ++shared->second;
    } else {
        if (int error = grabber_->grab(combination.first, combination.second)) {
            if (error == BadAccess) return {eventHotKeyExistsErr, 0};
            DDLogError("%@: Grabbing key code %u with modifiers 0x%x failed with X error %d", wanted.macKeyCode,
                       wanted.modifiers, error);
            return {eventInternalErr, 0};
        }
        grabs_[combination] = 1;
    }
    EventHotKeyRef ref = nextHotKeyRef_++;
    registrations_.emplace(ref, registration);
    return {noErr, ref};
}

OSStatus X11HotKeys::unregisterEventHotKey(EventHotKeyRef hotKey)
{
    OSStatus status = paramErr;
    runOnConnectionThread([&] { status = unregisterOnConnectionThread(hotKey); });
    return status;
}

OSStatus X11HotKeys::unregisterOnConnectionThread(EventHotKeyRef hotKey)
{
    auto found = registrations_.find(hotKey);
    if (found == registrations_.end()) return paramErr;
    const Combination combination{found->second.xKeyCode, found->second.xModifiers};
    registrations_.erase(found);
    auto grab = grabs_.find(combination);
    if (grab == grabs_.end() || --grab->second > 0) return noErr;
    grabs_.erase(grab);
    held_.erase(combination.first); // its release may now go to another window, unseen here
    if (!lost_) grabber_->ungrab(combination.first, combination.second);
    return noErr;
}

std::optional<std::vector<SymbolicHotKey>> X11HotKeys::copySymbolicHotKeys() const
{
    return std::vector<SymbolicHotKey>{};
}

void X11HotKeys::deliver(const HotKeyEvent& event) const
{
    std::vector<EventHandlerRef> chain;
    {
        std::lock_guard lock(handlersMutex_);
        for (auto it = handlers_.rbegin(); it != handlers_.rend(); ++it) chain.push_back(it->first);
    }
    // Looked up again before each call: an earlier handler may have removed a later one.
    for (EventHandlerRef ref : chain) {
        EventHandler handler;
        {
            std::lock_guard lock(handlersMutex_);
            auto found = handlers_.find(ref);
            if (found == handlers_.end()) continue;
            handler = found->second;
        }
        if (handler(event) != eventNotHandledErr) return;
    }
}

}
