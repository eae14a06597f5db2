#pragma once

#include <cstdint>
#include <optional>

namespace tvi {

// The X key symbol that stands for a key code of the design's keyboard: the symbol the key
// types on a US layout. The current layout then finds the X key code that types it.
class X11KeySymbols {
public:
    static std::optional<std::uint32_t> keySymFor(std::uint16_t macKeyCode);
};

}
