#pragma once

#include "foundation/Error.h"
#include "foundation/PlistValue.h"
#include "shortcuts/ShortcutMenu.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

class KeyedArchiver;
class KeyedUnarchiver;

// The "no key" value of a key code.
inline constexpr std::uint64_t NSNotFound = 0x7FFFFFFFFFFFFFFFULL;

// A keyboard shortcut: a macOS virtual key code with the Shift, Control, Option and Command
// bits of an NSEvent modifier mask (every other bit is dropped on construction and on
// assignment). Stored in the user defaults as a keyed archive of class "MASShortcut".
class MASShortcut {
public:
    static constexpr std::uint64_t kModifierFlagsMask = 0x1E0000;
    static constexpr const char* kClassName = "MASShortcut";
    static constexpr const char* MASShortcutKeyCode = "KeyCode";
    static constexpr const char* MASShortcutModifierFlags = "ModifierFlags";

    MASShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags);
    static MASShortcut shortcutWithKeyCode(std::uint64_t keyCode, std::uint64_t modifierFlags);
    // From a key event's 16-bit key code and its modifier flags.
    static MASShortcut shortcutWithEvent(std::uint16_t keyCode, std::uint64_t modifierFlags);
    // Absent for absent data, for the archive of nil and for anything that is not the archive
    // of a shortcut.
    static std::optional<MASShortcut> shortcutWithData(const std::optional<PlistData>& data);

    // The stored form; equal shortcuts give identical bytes.
    PlistData data() const;
    void encodeWithCoder(KeyedArchiver& coder) const;
    // Absent unless the root is a "MASShortcut" with integer "KeyCode" and "ModifierFlags".
    static std::optional<MASShortcut> initWithCoder(const KeyedUnarchiver& coder);

    std::uint64_t keyCode() const { return keyCode_; }
    std::uint64_t modifierFlags() const { return modifierFlags_; }
    void setKeyCode(std::uint64_t keyCode) { keyCode_ = keyCode; }
    void setModifierFlags(std::uint64_t modifierFlags) { modifierFlags_ = modifierFlags & kModifierFlagsMask; }

    // 0 for no key, else the low 32 bits of the key code.
    std::uint32_t carbonKeyCode() const;
    // cmdKey, shiftKey, optionKey, controlKey.
    std::uint32_t carbonFlags() const;

    // The key as shown to the user: a glyph, "F5", or the upper-cased character the current
    // keyboard layout types; "" when there is nothing printable to show.
    std::string keyCodeString() const;
    // The key as a menu item's key equivalent; "" when menus cannot show it.
    std::string keyCodeStringForKeyEquivalent() const;
    // Control, Option, Shift, Command glyphs, always in that order.
    std::string modifierFlagsString() const;
    // Modifier glyphs followed by the key text.
    std::string description() const;

    // Command-W and Command-Q, which the recorder leaves to the window.
    bool shouldBypass() const;
    bool isValid() const;

    // True when a system-wide shortcut or an item of mainMenu (or of its submenus) uses the
    // combination; error, when given, then says which.
    bool isTakenError(Error* error, const ShortcutMenu& mainMenu = {}) const;
    static bool isKeyEquivalent(std::string_view keyEquivalent, std::uint64_t flags, const ShortcutMenu& menu,
                                Error* error);

    // Class-wide: when true any key with Option is a valid shortcut. False at first.
    static void setAllowsAnyHotkeyWithOptionModifier(bool allows);
    static bool allowsAnyHotkeyWithOptionModifier();

    bool operator==(const MASShortcut&) const = default;

private:
    std::uint64_t keyCode_;
    std::uint64_t modifierFlags_;
};

}
