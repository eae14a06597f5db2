#include "ui/TVIKeyEventTranslator.h"

#include "platform/MacKeyCodes.h"

#include <unordered_map>

namespace tvi {

namespace {

const std::unordered_map<int, std::uint16_t>& mainKeys()
{
    static const std::unordered_map<int, std::uint16_t> keys{
        {Qt::Key_A, kVK_ANSI_A}, {Qt::Key_B, kVK_ANSI_B}, {Qt::Key_C, kVK_ANSI_C}, {Qt::Key_D, kVK_ANSI_D},
        {Qt::Key_E, kVK_ANSI_E}, {Qt::Key_F, kVK_ANSI_F}, {Qt::Key_G, kVK_ANSI_G}, {Qt::Key_H, kVK_ANSI_H},
        {Qt::Key_I, kVK_ANSI_I}, {Qt::Key_J, kVK_ANSI_J}, {Qt::Key_K, kVK_ANSI_K}, {Qt::Key_L, kVK_ANSI_L},
        {Qt::Key_M, kVK_ANSI_M}, {Qt::Key_N, kVK_ANSI_N}, {Qt::Key_O, kVK_ANSI_O}, {Qt::Key_P, kVK_ANSI_P},
        {Qt::Key_Q, kVK_ANSI_Q}, {Qt::Key_R, kVK_ANSI_R}, {Qt::Key_S, kVK_ANSI_S}, {Qt::Key_T, kVK_ANSI_T},
        {Qt::Key_U, kVK_ANSI_U}, {Qt::Key_V, kVK_ANSI_V}, {Qt::Key_W, kVK_ANSI_W}, {Qt::Key_X, kVK_ANSI_X},
        {Qt::Key_Y, kVK_ANSI_Y}, {Qt::Key_Z, kVK_ANSI_Z},
        {Qt::Key_0, kVK_ANSI_0}, {Qt::Key_1, kVK_ANSI_1}, {Qt::Key_2, kVK_ANSI_2}, {Qt::Key_3, kVK_ANSI_3},
        {Qt::Key_4, kVK_ANSI_4}, {Qt::Key_5, kVK_ANSI_5}, {Qt::Key_6, kVK_ANSI_6}, {Qt::Key_7, kVK_ANSI_7},
        {Qt::Key_8, kVK_ANSI_8}, {Qt::Key_9, kVK_ANSI_9},
        // Shifted US symbols, back to their keys.
        {Qt::Key_ParenRight, kVK_ANSI_0}, {Qt::Key_Exclam, kVK_ANSI_1}, {Qt::Key_At, kVK_ANSI_2},
        {Qt::Key_NumberSign, kVK_ANSI_3}, {Qt::Key_Dollar, kVK_ANSI_4}, {Qt::Key_Percent, kVK_ANSI_5},
        {Qt::Key_AsciiCircum, kVK_ANSI_6}, {Qt::Key_Ampersand, kVK_ANSI_7}, {Qt::Key_Asterisk, kVK_ANSI_8},
        {Qt::Key_ParenLeft, kVK_ANSI_9}, {Qt::Key_Underscore, kVK_ANSI_Minus}, {Qt::Key_Plus, kVK_ANSI_Equal},
        {Qt::Key_BraceLeft, kVK_ANSI_LeftBracket}, {Qt::Key_BraceRight, kVK_ANSI_RightBracket},
        {Qt::Key_QuoteDbl, kVK_ANSI_Quote}, {Qt::Key_Colon, kVK_ANSI_Semicolon}, {Qt::Key_Bar, kVK_ANSI_Backslash},
        {Qt::Key_Less, kVK_ANSI_Comma}, {Qt::Key_Greater, kVK_ANSI_Period}, {Qt::Key_Question, kVK_ANSI_Slash},
        {Qt::Key_AsciiTilde, kVK_ANSI_Grave},
        {Qt::Key_Equal, kVK_ANSI_Equal}, {Qt::Key_Minus, kVK_ANSI_Minus}, {Qt::Key_BracketLeft, kVK_ANSI_LeftBracket},
        {Qt::Key_BracketRight, kVK_ANSI_RightBracket}, {Qt::Key_Apostrophe, kVK_ANSI_Quote},
        {Qt::Key_Semicolon, kVK_ANSI_Semicolon}, {Qt::Key_Backslash, kVK_ANSI_Backslash},
        {Qt::Key_Comma, kVK_ANSI_Comma}, {Qt::Key_Slash, kVK_ANSI_Slash}, {Qt::Key_Period, kVK_ANSI_Period},
        {Qt::Key_QuoteLeft, kVK_ANSI_Grave}, {Qt::Key_section, kVK_ISO_Section}, {Qt::Key_yen, kVK_JIS_Yen},
        {Qt::Key_Return, kVK_Return}, {Qt::Key_Enter, kVK_ANSI_KeypadEnter}, {Qt::Key_Tab, kVK_Tab},
        {Qt::Key_Backtab, kVK_Tab}, {Qt::Key_Space, kVK_Space}, {Qt::Key_Backspace, kVK_Delete},
        {Qt::Key_Escape, kVK_Escape}, {Qt::Key_Delete, kVK_ForwardDelete}, {Qt::Key_Home, kVK_Home},
        {Qt::Key_End, kVK_End}, {Qt::Key_PageUp, kVK_PageUp}, {Qt::Key_PageDown, kVK_PageDown},
        {Qt::Key_Insert, kVK_Help}, {Qt::Key_Help, kVK_Help}, {Qt::Key_Left, kVK_LeftArrow},
        {Qt::Key_Right, kVK_RightArrow}, {Qt::Key_Up, kVK_UpArrow}, {Qt::Key_Down, kVK_DownArrow},
        {Qt::Key_Clear, kVK_ANSI_KeypadClear}, {Qt::Key_NumLock, kVK_ANSI_KeypadClear},
        {Qt::Key_CapsLock, kVK_CapsLock}, {Qt::Key_VolumeUp, kVK_VolumeUp}, {Qt::Key_VolumeDown, kVK_VolumeDown},
        {Qt::Key_VolumeMute, kVK_Mute},
        {Qt::Key_F1, kVK_F1}, {Qt::Key_F2, kVK_F2}, {Qt::Key_F3, kVK_F3}, {Qt::Key_F4, kVK_F4},
        {Qt::Key_F5, kVK_F5}, {Qt::Key_F6, kVK_F6}, {Qt::Key_F7, kVK_F7}, {Qt::Key_F8, kVK_F8},
        {Qt::Key_F9, kVK_F9}, {Qt::Key_F10, kVK_F10}, {Qt::Key_F11, kVK_F11}, {Qt::Key_F12, kVK_F12},
        {Qt::Key_F13, kVK_F13}, {Qt::Key_F14, kVK_F14}, {Qt::Key_F15, kVK_F15}, {Qt::Key_F16, kVK_F16},
        {Qt::Key_F17, kVK_F17}, {Qt::Key_F18, kVK_F18}, {Qt::Key_F19, kVK_F19}, {Qt::Key_F20, kVK_F20},
        {Qt::Key_Shift, kVK_Shift}, {Qt::Key_Control, kVK_Control}, {Qt::Key_Alt, kVK_Option},
        {Qt::Key_Meta, kVK_Command}, {Qt::Key_Super_L, kVK_Command}, {Qt::Key_Super_R, kVK_RightCommand},
    };
    return keys;
}

// Keys that type something else on the keypad (with Num Lock on).
const std::unordered_map<int, std::uint16_t>& keypadKeys()
{
    static const std::unordered_map<int, std::uint16_t> keys{
        {Qt::Key_0, kVK_ANSI_Keypad0}, {Qt::Key_1, kVK_ANSI_Keypad1}, {Qt::Key_2, kVK_ANSI_Keypad2},
        {Qt::Key_3, kVK_ANSI_Keypad3}, {Qt::Key_4, kVK_ANSI_Keypad4}, {Qt::Key_5, kVK_ANSI_Keypad5},
        {Qt::Key_6, kVK_ANSI_Keypad6}, {Qt::Key_7, kVK_ANSI_Keypad7}, {Qt::Key_8, kVK_ANSI_Keypad8},
        {Qt::Key_9, kVK_ANSI_Keypad9}, {Qt::Key_Period, kVK_ANSI_KeypadDecimal},
        {Qt::Key_Comma, kVK_ANSI_KeypadDecimal}, {Qt::Key_Asterisk, kVK_ANSI_KeypadMultiply},
        {Qt::Key_Plus, kVK_ANSI_KeypadPlus}, {Qt::Key_Minus, kVK_ANSI_KeypadMinus},
        {Qt::Key_Slash, kVK_ANSI_KeypadDivide}, {Qt::Key_Equal, kVK_ANSI_KeypadEquals},
        {Qt::Key_Enter, kVK_ANSI_KeypadEnter},
    };
    return keys;
}

std::uint64_t modifierBitOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift: return NSEventModifierFlagShift;
    case Qt::Key_Control: return NSEventModifierFlagControl;
    case Qt::Key_Alt: return NSEventModifierFlagOption;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return NSEventModifierFlagCommand;
    default: return 0;
    }
}

}

std::uint64_t TVIKeyEventTranslator::modifierFlags(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= NSEventModifierFlagShift;
    if (modifiers & Qt::ControlModifier) flags |= NSEventModifierFlagControl;
    if (modifiers & Qt::AltModifier) flags |= NSEventModifierFlagOption;
    if (modifiers & Qt::MetaModifier) flags |= NSEventModifierFlagCommand;
    return flags;
}

std::optional<std::uint16_t> TVIKeyEventTranslator::macKeyCode(int qtKey, bool keypad)
{
    if (keypad) {
        if (auto found = keypadKeys().find(qtKey); found != keypadKeys().end()) return found->second;
    }
    if (auto found = mainKeys().find(qtKey); found != mainKeys().end()) return found->second;
    return std::nullopt;
}

std::optional<TranslatedKey> TVIKeyEventTranslator::translate(const QKeyEvent& event)
{
    const bool keypad = event.modifiers() & Qt::KeypadModifier;
    const std::optional<std::uint16_t> keyCode = macKeyCode(event.key(), keypad);
    if (!keyCode) return std::nullopt;
    TranslatedKey key{*keyCode, modifierFlags(event.modifiers()), false};
    // Platforms differ in whether a modifier key's own event counts it as held: say it plainly.
    if (const std::uint64_t bit = modifierBitOf(event.key())) {
        key.modifierChange = true;
        if (event.type() == QEvent::KeyRelease)
            key.modifierFlags &= ~bit;
        else
            key.modifierFlags |= bit;
    }
    return key;
}

}
