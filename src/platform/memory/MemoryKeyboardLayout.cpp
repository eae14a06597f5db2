#include "platform/memory/MemoryKeyboardLayout.h"

#include "platform/MacKeyCodes.h"

#include <utility>

namespace tvi {

namespace {

const std::map<std::uint16_t, std::optional<std::string>>& usLayout()
{
    static const std::map<std::uint16_t, std::optional<std::string>> layout{
        {kVK_ANSI_A, "a"}, {kVK_ANSI_S, "s"}, {kVK_ANSI_D, "d"}, {kVK_ANSI_F, "f"}, {kVK_ANSI_H, "h"},
        {kVK_ANSI_G, "g"}, {kVK_ANSI_Z, "z"}, {kVK_ANSI_X, "x"}, {kVK_ANSI_C, "c"}, {kVK_ANSI_V, "v"},
        {kVK_ANSI_B, "b"}, {kVK_ANSI_Q, "q"}, {kVK_ANSI_W, "w"}, {kVK_ANSI_E, "e"}, {kVK_ANSI_R, "r"},
        {kVK_ANSI_Y, "y"}, {kVK_ANSI_T, "t"}, {kVK_ANSI_O, "o"}, {kVK_ANSI_U, "u"}, {kVK_ANSI_I, "i"},
        {kVK_ANSI_P, "p"}, {kVK_ANSI_L, "l"}, {kVK_ANSI_J, "j"}, {kVK_ANSI_K, "k"}, {kVK_ANSI_N, "n"},
        {kVK_ANSI_M, "m"},
        {kVK_ANSI_1, "1"}, {kVK_ANSI_2, "2"}, {kVK_ANSI_3, "3"}, {kVK_ANSI_4, "4"}, {kVK_ANSI_5, "5"},
        {kVK_ANSI_6, "6"}, {kVK_ANSI_7, "7"}, {kVK_ANSI_8, "8"}, {kVK_ANSI_9, "9"}, {kVK_ANSI_0, "0"},
        {kVK_ANSI_Equal, "="}, {kVK_ANSI_Minus, "-"}, {kVK_ANSI_RightBracket, "]"}, {kVK_ANSI_LeftBracket, "["},
        {kVK_ANSI_Quote, "'"}, {kVK_ANSI_Semicolon, ";"}, {kVK_ANSI_Backslash, "\\"}, {kVK_ANSI_Comma, ","},
        {kVK_ANSI_Slash, "/"}, {kVK_ANSI_Period, "."}, {kVK_ANSI_Grave, "`"}, {kVK_ISO_Section, "\u00A7"},
        {kVK_ANSI_KeypadDecimal, "."}, {kVK_ANSI_KeypadMultiply, "*"}, {kVK_ANSI_KeypadPlus, "+"},
        {kVK_ANSI_KeypadClear, "\x1B"}, {kVK_ANSI_KeypadDivide, "/"}, {kVK_ANSI_KeypadEnter, "\x03"},
        {kVK_ANSI_KeypadMinus, "-"}, {kVK_ANSI_KeypadEquals, "="}, {kVK_ANSI_Keypad0, "0"},
        {kVK_ANSI_Keypad1, "1"}, {kVK_ANSI_Keypad2, "2"}, {kVK_ANSI_Keypad3, "3"}, {kVK_ANSI_Keypad4, "4"},
        {kVK_ANSI_Keypad5, "5"}, {kVK_ANSI_Keypad6, "6"}, {kVK_ANSI_Keypad7, "7"}, {kVK_ANSI_Keypad8, "8"},
        {kVK_ANSI_Keypad9, "9"},
        // Keys that type no character give the control characters the platform uses for them.
        {kVK_Return, "\r"}, {kVK_Tab, "\t"}, {kVK_Space, " "}, {kVK_Delete, "\x08"}, {kVK_Escape, "\x1B"},
        {kVK_ForwardDelete, "\x7F"}, {kVK_Home, "\x01"}, {kVK_End, "\x04"}, {kVK_PageUp, "\x0B"},
        {kVK_PageDown, "\x0C"}, {kVK_Help, "\x05"}, {kVK_LeftArrow, "\x1C"}, {kVK_RightArrow, "\x1D"},
        {kVK_UpArrow, "\x1E"}, {kVK_DownArrow, "\x1F"},
        {kVK_F1, "\x10"}, {kVK_F2, "\x10"}, {kVK_F3, "\x10"}, {kVK_F4, "\x10"}, {kVK_F5, "\x10"},
        {kVK_F6, "\x10"}, {kVK_F7, "\x10"}, {kVK_F8, "\x10"}, {kVK_F9, "\x10"}, {kVK_F10, "\x10"},
        {kVK_F11, "\x10"}, {kVK_F12, "\x10"}, {kVK_F13, "\x10"}, {kVK_F14, "\x10"}, {kVK_F15, "\x10"},
        {kVK_F16, "\x10"}, {kVK_F17, "\x10"}, {kVK_F18, "\x10"}, {kVK_F19, "\x10"}, {kVK_F20, "\x10"},
    };
    return layout;
}

}

MemoryKeyboardLayout::MemoryKeyboardLayout() : characters_(usLayout()) {}

std::optional<std::string> MemoryKeyboardLayout::characterForKeyCode(std::uint16_t keyCode) const
{
    std::lock_guard lock(mutex_);
    auto found = characters_.find(keyCode);
    if (found == characters_.end()) return std::string(); // modifier keys and unknown codes type nothing
    return found->second;
}

void MemoryKeyboardLayout::setCharacter(std::uint16_t keyCode, std::optional<std::string> text)
{
    std::lock_guard lock(mutex_);
    characters_[keyCode] = std::move(text);
}

void MemoryKeyboardLayout::resetToUSLayout()
{
    std::lock_guard lock(mutex_);
    characters_ = usLayout();
}

}
