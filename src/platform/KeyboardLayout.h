#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

// The user's current keyboard layout, as far as key texts need it.
// Threads: called from any thread (mostly the main one); no callbacks.
class KeyboardLayout {
public:
    static constexpr const char* serviceName = "KeyboardLayout";

    virtual ~KeyboardLayout() = default;

    // What the key types under the current layout with no modifier held, as shown on a key
    // cap: a dead key gives its own accent, not a pending one. UTF-8; non-printing keys may
    // give control characters or nothing. Absent when the layout cannot translate the key.
    virtual std::optional<std::string> characterForKeyCode(std::uint16_t keyCode) const = 0;
};

}
