#pragma once

#include "platform/KeyEvents.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tvi {

struct PostedKeyEvent {
    enum class Kind { KeyDown, KeyUp };
    Kind kind = Kind::KeyDown;
    std::uint16_t keyCode = 0;
    // As posted for a key down; the keyboard state (none held in memory: 0) for a key up.
    std::uint64_t flags = 0;
    bool operator==(const PostedKeyEvent&) const = default;
};

// What tests may change and look at in the in-memory key events.
class KeyEventsTestInterface {
public:
    virtual ~KeyEventsTestInterface() = default;
    // Every event posted so far, oldest first.
    virtual std::vector<PostedKeyEvent> postedEvents() const = 0;
    virtual void clearPostedEvents() = 0;
    // Absent makes the front-process query fail.
    virtual void setFrontProcess(std::optional<KeyEvents::ProcessId> process) = 0;
    // Makes posting fail (nothing is recorded) until switched off again.
    virtual void setFailPosting(bool fail) = 0;
};

}
