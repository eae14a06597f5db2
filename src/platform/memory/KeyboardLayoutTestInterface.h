#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// What tests may change in the in-memory keyboard layout.
class KeyboardLayoutTestInterface {
public:
    virtual ~KeyboardLayoutTestInterface() = default;
    // What the key types from now on (UTF-8); absent: the layout cannot translate it.
    virtual void setCharacter(std::uint16_t keyCode, std::optional<std::string> text) = 0;
    // Back to the US layout.
    virtual void resetToUSLayout() = 0;
};

}
