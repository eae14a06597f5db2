#pragma once

#include "platform/HotKeys.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct _XDisplay;
union _XEvent;

namespace tvi {

class X11KeyGrabber;

// Global hot keys by passive key grabs on the X root window.
// Threads: every method may be called from any thread but the backend's own; grabs are made
// on a private thread that owns the X connection (callers wait for it, it never waits for
// them), and presses reach the handlers on the main queue. Key codes and modifiers are the
// design's (see X11KeyGrabber for the modifier mapping); X key codes follow the current layout
// and are found again whenever the keyboard mapping changes. X has no list of system-wide
// shortcuts: copySymbolicHotKeys() answers an empty one and conflicts show at grab time.
class X11HotKeys : public HotKeys, public std::enable_shared_from_this<X11HotKeys> {
public:
    static std::shared_ptr<X11HotKeys> create(std::string& whyUnavailable);
    ~X11HotKeys() override;

    bool isAvailable() const override;
    HandlerInstallation installEventHandler(EventHandler handler) override;
    OSStatus removeEventHandler(EventHandlerRef handler) override;
    HotKeyRegistration registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID hotKeyID,
                                           std::uint32_t options) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) override;
    std::optional<std::vector<SymbolicHotKey>> copySymbolicHotKeys() const override;

    X11HotKeys(_XDisplay* display, int wakeFd);

private:
    struct Registration {
        std::uint32_t macKeyCode = 0;
        std::uint32_t modifiers = 0;
        EventHotKeyID hotKeyID;
        std::uint32_t options = 0;
        unsigned int xKeyCode = 0; // 0 while the layout has no key for it
        unsigned int xModifiers = 0;
    };
    using Combination = std::pair<unsigned int, unsigned int>; // X key code, modifiers

    // Runs `task` on the connection's thread and returns once it ran.
    void runOnConnectionThread(const std::function<void()>& task);
    void serve();
    void runQueuedTasks();
    void handleEvent(_XEvent& event);
    void keyPressed(unsigned int keyCode, unsigned int state);
    void keyboardMappingChanged();
    HotKeyRegistration registerOnConnectionThread(const Registration& wanted);
    OSStatus unregisterOnConnectionThread(EventHotKeyRef hotKey);
    bool takenExclusively(const Combination& combination, bool exclusiveRequest) const;
    void deliver(const HotKeyEvent& event) const;

    _XDisplay* display_;
    int wakeFd_;
    std::unique_ptr<X11KeyGrabber> grabber_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> lost_{false};

    std::mutex tasksMutex_;
    std::deque<std::function<void()>> tasks_;

    // Connection thread only.
    std::map<EventHotKeyRef, Registration> registrations_;
    std::map<Combination, int> grabs_; // how many registrations share each grab
    std::set<unsigned int> held_;      // grabbed keys down now: auto-repeat is not a new press
    EventHotKeyRef nextHotKeyRef_ = 1;

    mutable std::mutex handlersMutex_;
    std::map<EventHandlerRef, EventHandler> handlers_;
    EventHandlerRef nextHandlerRef_ = 1;

    std::thread thread_; // last: starts once everything above exists
};

}
