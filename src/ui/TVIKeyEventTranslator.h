#pragma once

#include <QKeyEvent>

#include <cstdint>
#include <optional>

namespace tvi {

// A key event as the shortcut machinery sees it: a macOS key code and NSEvent modifier bits
// (Command = Super/Meta, Option = Alt).
struct TranslatedKey {
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    // A modifier key went down or up: modifierFlags are the modifiers held after it.
    bool modifierChange = false;
};

// Qt key events to macOS key codes. A key is the one that types its US symbol, as the X11
// hot keys grab it, so shifted symbols go back to their unshifted key (Shift+1 types "!").
class TVIKeyEventTranslator {
public:
    TVIKeyEventTranslator() = delete;

    // Absent for keys that have no macOS key code.
    static std::optional<TranslatedKey> translate(const QKeyEvent& event);
    static std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers);
    static std::optional<std::uint16_t> macKeyCode(int qtKey, bool keypad);
};

}
