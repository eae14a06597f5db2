#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace tvi {

// Synthetic keyboard input, delivered as if typed, to the application in front.
// Key codes are the platform's virtual key codes; flags are its event flags
// (Command 0x100000, Shift 0x20000, Control 0x40000, Option 0x80000).
// Threads: called from any one thread at a time (the capture runs off the main thread and
// must never wait on it); no callbacks.
class KeyEvents {
public:
    static constexpr const char* serviceName = "KeyEvents";

    using ProcessId = std::int64_t;

    virtual ~KeyEvents() = default;

    // Whether this session accepts synthetic key events at all.
    virtual bool isAvailable() const = 0;
    // The process that receives keyboard input now; absent when the query fails.
    virtual std::optional<ProcessId> frontProcess() const = 0;
    // A key press carrying exactly `flags`, whatever modifiers are physically held.
    // False when the event could not be posted.
    virtual bool postKeyDown(std::uint16_t keyCode, std::uint64_t flags) = 0;
    // The release; its flags are those of the system's keyboard state.
    virtual bool postKeyUp(std::uint16_t keyCode) = 0;
};

}
