#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tvi {

// Status of a hot-key operation, with the platform's values: 0 is success.
using OSStatus = std::int32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus paramErr = -50;                    // an unknown handler or hot-key reference
inline constexpr OSStatus eventInternalErr = -9868;          // the service is not available in this session
inline constexpr OSStatus eventParameterNotFoundErr = -9870; // the event carries no hot-key identifier
inline constexpr OSStatus eventNotHandledErr = -9874;        // a handler passes the event on
inline constexpr OSStatus eventHotKeyExistsErr = -9878;      // the combination is taken (exclusively)
inline constexpr OSStatus eventHotKeyInvalidErr = -9879;     // no keyboard has that key code

// Event class and kinds of hot-key events ('keyb').
inline constexpr std::uint32_t kEventClassKeyboard = 0x6B657962;
inline constexpr std::uint32_t kEventHotKeyPressed = 5;
inline constexpr std::uint32_t kEventHotKeyReleased = 6;

// Registration options.
inline constexpr std::uint32_t kEventHotKeyNoOptions = 0;
inline constexpr std::uint32_t kEventHotKeyExclusive = 1;

// Carbon modifier bits, as hot keys and the system-wide shortcuts name modifiers.
inline constexpr std::uint32_t cmdKey = 0x100;
inline constexpr std::uint32_t shiftKey = 0x200;
inline constexpr std::uint32_t optionKey = 0x800;
inline constexpr std::uint32_t controlKey = 0x1000;

// What a registered hot key is known by: the registrant's signature and a number of its choice.
struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    bool operator==(const EventHotKeyID&) const = default;
};

// One event for the installed handlers.
struct HotKeyEvent {
    std::uint32_t eventClass = kEventClassKeyboard;
    std::uint32_t eventKind = kEventHotKeyPressed;
    // The pressed hot key's identifier; absent when the event carries none.
    std::optional<EventHotKeyID> hotKeyID;
};

// One system-wide keyboard shortcut (screenshots, Spotlight, switching spaces …).
struct SymbolicHotKey {
    std::int64_t keyCode = 0;     // macOS virtual key code
    std::uint32_t modifiers = 0;  // Carbon modifier bits
    std::optional<bool> enabled;  // absent when the system does not say; counts as enabled
};

// System-wide hot keys: key combinations that reach this application whichever application
// is in front. One handler (or a few) receives the presses, told apart by hot-key identifier.
// Threads: called on the main thread; presses and releases arrive on the main queue.
class HotKeys {
public:
    static constexpr const char* serviceName = "HotKeys";

    // Returns noErr when it handled the event, eventNotHandledErr to pass it on.
    using EventHandler = std::function<OSStatus(const HotKeyEvent&)>;
    // References handed out by the service; 0 is never a valid one.
    using EventHandlerRef = std::uint64_t;
    using EventHotKeyRef = std::uint64_t;

    struct HandlerInstallation {
        OSStatus status = noErr;
        EventHandlerRef handler = 0;
    };
    struct HotKeyRegistration {
        OSStatus status = noErr;
        EventHotKeyRef hotKey = 0;
    };

    virtual ~HotKeys() = default;

    // Whether this session can have global hot keys at all (not under Wayland, say).
    virtual bool isAvailable() const = 0;

    // Installs a handler for hot-key events. Events are delivered on the main queue, one at a
    // time, to the handlers newest first until one does not answer eventNotHandledErr.
    virtual HandlerInstallation installEventHandler(EventHandler handler) = 0;
    // Once this returns, the handler is not called again. paramErr for an unknown reference.
    virtual OSStatus removeEventHandler(EventHandlerRef handler) = 0;

    // Registers a key combination (macOS key code, Carbon modifier bits). With
    // kEventHotKeyExclusive no one else may hold the combination, before or after.
    // eventHotKeyExistsErr when it is held exclusively (or, for an exclusive request, at all).
    virtual HotKeyRegistration registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                   EventHotKeyID hotKeyID, std::uint32_t options) = 0;
    // paramErr for an unknown reference.
    virtual OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) = 0;

    // The system-wide keyboard shortcuts; absent when they cannot be read.
    virtual std::optional<std::vector<SymbolicHotKey>> copySymbolicHotKeys() const = 0;
};

}
