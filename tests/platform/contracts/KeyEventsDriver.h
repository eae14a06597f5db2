#pragma once

#include "platform/KeyEvents.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace tvi::test {

// A key press as the application in front received it.
struct ReceivedKeyPress {
    std::uint16_t keyCode = 0; // the design's key code
    std::uint64_t flags = 0;   // the modifiers it carried, as event flags
    bool operator==(const ReceivedKeyPress&) const = default;
};

inline void PrintTo(const ReceivedKeyPress& press, std::ostream* out)
{
    *out << "key code 0x" << std::hex << press.keyCode << " flags 0x" << press.flags << std::dec;
}

// The world around one key-events backend, for KeyEventsContract: the application in front.
class KeyEventsDriver {
public:
    virtual ~KeyEventsDriver() = default;

    // The backend under test, fresh for each case.
    virtual std::shared_ptr<KeyEvents> keyEvents() = 0;
    // An application of that process comes to the front and takes the keyboard input.
    virtual void bringApplicationToFront(KeyEvents::ProcessId processId) = 0;
    // The presses of keys other than modifiers it received so far, oldest first; waits as
    // long as posted keys may take to arrive.
    virtual std::vector<ReceivedKeyPress> receivedPresses() = 0;
    // Whether no key, modifiers included, is down now.
    virtual bool everyKeyIsUp() = 0;
};

}
