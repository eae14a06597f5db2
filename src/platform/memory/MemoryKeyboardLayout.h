#pragma once

#include "platform/KeyboardLayout.h"
#include "platform/memory/KeyboardLayoutTestInterface.h"

#include <map>
#include <mutex>

namespace tvi {

// A keyboard layout without a desktop: the US layout of an ANSI keyboard, as the platform
// translates its keys for display (letters in lower case, control characters for the keys
// that type none, nothing for the modifier keys).
class MemoryKeyboardLayout : public KeyboardLayout, public KeyboardLayoutTestInterface {
public:
    MemoryKeyboardLayout();

    std::optional<std::string> characterForKeyCode(std::uint16_t keyCode) const override;

    void setCharacter(std::uint16_t keyCode, std::optional<std::string> text) override;
    void resetToUSLayout() override;

private:
    mutable std::mutex mutex_;
    std::map<std::uint16_t, std::optional<std::string>> characters_;
};

}
