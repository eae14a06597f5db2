#include "shortcuts/MASShortcut.h"

#include "foundation/Bundle.h"
#include "foundation/Format.h"
#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedUnarchiver.h"
#include "platform/HotKeys.h"
#include "platform/KeyboardLayout.h"
#include "platform/Platform.h"
#include "shortcuts/KeyText.h"
#include "platform/MacKeyCodes.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>

namespace tvi {

namespace {

std::atomic<bool> sAllowsAnyHotkeyWithOptionModifier{false};

// macOS codes of F1 to F19, in order.
constexpr std::uint16_t kFunctionKeys[]{kVK_F1,  kVK_F2,  kVK_F3,  kVK_F4,  kVK_F5,  kVK_F6,  kVK_F7,
                                        kVK_F8,  kVK_F9,  kVK_F10, kVK_F11, kVK_F12, kVK_F13, kVK_F14,
                                        kVK_F15, kVK_F16, kVK_F17, kVK_F18, kVK_F19};

// 1 for F1 … 19 for F19, 0 for any other key (F20 included).
int functionKeyNumber(std::uint64_t keyCode)
{
    const auto* found = std::find(std::begin(kFunctionKeys), std::end(kFunctionKeys), keyCode);
    return found == std::end(kFunctionKeys) ? 0 : int(found - std::begin(kFunctionKeys)) + 1;
}

std::string localized(const std::string& text) { return Bundle::mainBundle().localizedString(text); }

std::string glyph(char32_t codePoint) { return KeyText::fromCodePoint(codePoint); }

// Keys whose text does not depend on the keyboard layout (F-keys aside).
const std::map<std::uint64_t, std::string>& fixedKeyTexts()
{
    static const std::map<std::uint64_t, std::string> texts{
        {kVK_Return, glyph(0x21A9)},        {kVK_Tab, glyph(0x21E5)},
        {kVK_Delete, glyph(0x232B)},        {kVK_Escape, glyph(0x238B)},
        {kVK_ANSI_KeypadDecimal, "."},      {kVK_ANSI_KeypadMultiply, "*"},
        {kVK_ANSI_KeypadPlus, "+"},         {kVK_ANSI_KeypadClear, glyph(0x2327)},
        {kVK_ANSI_KeypadDivide, "/"},       {kVK_ANSI_KeypadEnter, glyph(0x2305)},
        {kVK_ANSI_KeypadMinus, glyph(0x2013)}, {kVK_ANSI_KeypadEquals, "="},
        {kVK_ANSI_Keypad0, "0"},            {kVK_ANSI_Keypad1, "1"},
        {kVK_ANSI_Keypad2, "2"},            {kVK_ANSI_Keypad3, "3"},
        {kVK_ANSI_Keypad4, "4"},            {kVK_ANSI_Keypad5, "5"},
        {kVK_ANSI_Keypad6, "6"},            {kVK_ANSI_Keypad7, "7"},
        {kVK_ANSI_Keypad8, "8"},            {kVK_ANSI_Keypad9, "9"},
        {kVK_Help, "?"},                    {kVK_Home, glyph(0x2196)},
        {kVK_PageUp, glyph(0x21DE)},        {kVK_ForwardDelete, glyph(0x2326)},
        {kVK_End, glyph(0x2198)},           {kVK_PageDown, glyph(0x21DF)},
        {kVK_LeftArrow, glyph(0x2190)},     {kVK_RightArrow, glyph(0x2192)},
        {kVK_DownArrow, glyph(0x2193)},     {kVK_UpArrow, glyph(0x2191)},
    };
    return texts;
}

std::string layoutText(std::uint64_t keyCode)
{
    if (keyCode > 0xFFFF) return {};
    std::optional<std::string> text = Platform::get<KeyboardLayout>()->characterForKeyCode(std::uint16_t(keyCode));
    return text ? *text : std::string();
}

bool symbolicHotKeyConflicts(const SymbolicHotKey& hotKey, const MASShortcut& shortcut)
{
    return hotKey.keyCode >= 0 && std::uint64_t(hotKey.keyCode) == shortcut.keyCode() &&
           hotKey.modifiers == shortcut.carbonFlags() && hotKey.enabled.value_or(true);
}

bool menuItemUses(const ShortcutMenuItem& item, std::string_view keyEquivalent, std::uint64_t flags)
{
    // An item without a key equivalent has no shortcut to be taken.
    if (keyEquivalent.empty() || item.keyEquivalent.empty()) return false;
    bool flagsMatch = (item.keyEquivalentModifierMask & MASShortcut::kModifierFlagsMask) == flags;
    bool keysMatch = KeyText::lowercase(item.keyEquivalent) == keyEquivalent;
    if (keysMatch && item.keyEquivalent != keyEquivalent) {
        // An upper-case key equivalent is typed with Shift.
        flagsMatch =
            ((item.keyEquivalentModifierMask | NSEventModifierFlagShift) & MASShortcut::kModifierFlagsMask) == flags;
    }
    return flagsMatch && keysMatch;
}

Error takenError(const std::string& description) { return Error{"NSCocoaErrorDomain", 0, description, {}}; }

}

MASShortcut::MASShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags)
    : keyCode_(keyCode), modifierFlags_(modifierFlags & kModifierFlagsMask)
{
}

MASShortcut MASShortcut::shortcutWithKeyCode(std::uint64_t keyCode, std::uint64_t modifierFlags)
{
    return MASShortcut(keyCode, modifierFlags);
}

MASShortcut MASShortcut::shortcutWithEvent(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return MASShortcut(keyCode, modifierFlags);
}

std::optional<MASShortcut> MASShortcut::shortcutWithData(const std::optional<PlistData>& data)
{
    if (!data) return std::nullopt;
    KeyedUnarchiver coder(*data);
    if (!coder.isValid() || coder.rootIsNil()) return std::nullopt;
    return initWithCoder(coder);
}

PlistData MASShortcut::data() const
{
    KeyedArchiver coder(kClassName);
    encodeWithCoder(coder);
    return coder.encodedData();
}

void MASShortcut::encodeWithCoder(KeyedArchiver& coder) const
{
    coder.encodeInteger(keyCode_ == NSNotFound ? -1 : std::int64_t(keyCode_), MASShortcutKeyCode);
    coder.encodeInteger(std::int64_t(modifierFlags_), MASShortcutModifierFlags);
}

std::optional<MASShortcut> MASShortcut::initWithCoder(const KeyedUnarchiver& coder)
{
    const std::optional<ArchivedObject>& root = coder.rootObject();
    if (!root || root->className != kClassName) return std::nullopt;
    auto integerEntry = [&](const char* key) -> const std::int64_t* {
        auto found = root->entries.find(key);
        return found == root->entries.end() ? nullptr : found->second.get<std::int64_t>();
    };
    // A shortcut without its two numbers is not one; reading them as 0 would make it the A key.
    const std::int64_t* keyCode = integerEntry(MASShortcutKeyCode);
    const std::int64_t* modifierFlags = integerEntry(MASShortcutModifierFlags);
    if (!keyCode || !modifierFlags) return std::nullopt;
    return MASShortcut(*keyCode < 0 ? NSNotFound : std::uint64_t(*keyCode), std::uint64_t(*modifierFlags));
}

std::uint32_t MASShortcut::carbonKeyCode() const
{
    return keyCode_ == NSNotFound ? 0 : std::uint32_t(keyCode_ & 0xFFFFFFFF);
}

std::uint32_t MASShortcut::carbonFlags() const
{
    std::uint32_t flags = 0;
    if (modifierFlags_ & NSEventModifierFlagCommand) flags |= cmdKey;
    if (modifierFlags_ & NSEventModifierFlagShift) flags |= shiftKey;
    if (modifierFlags_ & NSEventModifierFlagOption) flags |= optionKey;
    if (modifierFlags_ & NSEventModifierFlagControl) flags |= controlKey;
    return flags;
}

std::string MASShortcut::keyCodeString() const
{
    if (keyCode_ == NSNotFound) return {};
    if (keyCode_ == kVK_Space) return localized("Space");
    if (int n = functionKeyNumber(keyCode_)) return format("F%d", n);
    const auto& fixed = fixedKeyTexts();
    if (auto found = fixed.find(keyCode_); found != fixed.end()) return found->second;

    std::string text = layoutText(keyCode_);
    if (!text.empty() && !KeyText::isDisplayable(text)) text.clear();
    return KeyText::uppercase(text);
}

std::string MASShortcut::keyCodeStringForKeyEquivalent() const
{
    std::string keyString = keyCodeString();
    if (KeyText::characterCount(keyString) < 2) return KeyText::lowercase(keyString);
    if (keyCode_ == kVK_Space) return " ";
    if (int n = functionKeyNumber(keyCode_)) return KeyText::fromCodePoint(char32_t(0xF703 + n));
    return {};
}

std::string MASShortcut::modifierFlagsString() const
{
    std::string text;
    if (modifierFlags_ & NSEventModifierFlagControl) text += glyph(0x2303);
    if (modifierFlags_ & NSEventModifierFlagOption) text += glyph(0x2325);
    if (modifierFlags_ & NSEventModifierFlagShift) text += glyph(0x21E7);
    if (modifierFlags_ & NSEventModifierFlagCommand) text += glyph(0x2318);
    return text;
}

std::string MASShortcut::description() const { return format("%@%@", modifierFlagsString(), keyCodeString()); }

bool MASShortcut::shouldBypass() const
{
    if (modifierFlags_ != NSEventModifierFlagCommand) return false;
    std::string keyString = keyCodeString();
    return keyString == "W" || keyString == "Q";
}

bool MASShortcut::isValid() const
{
    if (functionKeyNumber(keyCode_) != 0 || keyCode_ == kVK_F20) return true;
    if (modifierFlags_ == 0) return false;
    if (modifierFlags_ & (NSEventModifierFlagCommand | NSEventModifierFlagControl)) return true;
    if (modifierFlags_ & NSEventModifierFlagOption) {
        if (keyCode_ == kVK_Space || keyCode_ == kVK_Escape) return true;
        if (allowsAnyHotkeyWithOptionModifier()) return true;
    }
    return (modifierFlags_ & NSEventModifierFlagShift) != 0;
}

bool MASShortcut::isTakenError(Error* error, const ShortcutMenu& mainMenu) const
{
    if (auto symbolic = Platform::get<HotKeys>()->copySymbolicHotKeys()) {
        for (const SymbolicHotKey& hotKey : *symbolic) {
            if (!symbolicHotKeyConflicts(hotKey, *this)) continue;
            if (error) {
                *error = takenError(localized(
                    "This combination cannot be used because it is already used by a system-wide keyboard "
                    "shortcut.\nIf you really want to use this key combination, most shortcuts can be changed "
                    "in the Keyboard & Mouse panel in System Preferences."));
            }
            return true;
        }
    }
    return isKeyEquivalent(keyCodeStringForKeyEquivalent(), modifierFlags_, mainMenu, error);
}

bool MASShortcut::isKeyEquivalent(std::string_view keyEquivalent, std::uint64_t flags, const ShortcutMenu& menu,
                                  Error* error)
{
    for (const ShortcutMenuItem& item : menu.items) {
        if (isKeyEquivalent(keyEquivalent, flags, item.submenu, error)) return true;
        if (!menuItemUses(item, keyEquivalent, flags)) continue;
        if (error) {
            *error = takenError(format(
                localized("This shortcut cannot be used because it is already used by the menu item \u2018%@\u2019."),
                item.title));
        }
        return true;
    }
    return false;
}

void MASShortcut::setAllowsAnyHotkeyWithOptionModifier(bool allows) { sAllowsAnyHotkeyWithOptionModifier = allows; }

bool MASShortcut::allowsAnyHotkeyWithOptionModifier() { return sAllowsAnyHotkeyWithOptionModifier; }

}
