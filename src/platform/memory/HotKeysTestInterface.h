#pragma once

#include "platform/HotKeys.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tvi {

// What tests may change and look at in the in-memory hot keys.
class HotKeysTestInterface {
public:
    struct RegisteredHotKey {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        EventHotKeyID hotKeyID;
        std::uint32_t options = kEventHotKeyNoOptions;
        bool operator==(const RegisteredHotKey&) const = default;
    };

    virtual ~HotKeysTestInterface() = default;

    // This application's hot keys, in the order of registration.
    virtual std::vector<RegisteredHotKey> registeredHotKeys() const = 0;
    virtual std::size_t installedEventHandlerCount() const = 0;

    // Another application takes the combination (exclusively or not).
    virtual void occupy(std::uint32_t keyCode, std::uint32_t modifiers, bool exclusive) = 0;
    // Non-zero: every registration is refused with this status until set back to noErr.
    virtual void setRegistrationRefusal(OSStatus status) = 0;
    // An unavailable service refuses handlers and registrations with eventInternalErr.
    virtual void setAvailable(bool available) = 0;

    // The user presses the combination: one pressed event per hot key of this application
    // registered for it goes to the main queue. Returns how many were queued.
    virtual std::size_t press(std::uint32_t keyCode, std::uint32_t modifiers) = 0;
    // Queues any event for the installed handlers on the main queue.
    virtual void postEvent(HotKeyEvent event) = 0;

    // Absent makes copySymbolicHotKeys() fail. Empty at first.
    virtual void setSymbolicHotKeys(std::optional<std::vector<SymbolicHotKey>> hotKeys) = 0;
};

}
