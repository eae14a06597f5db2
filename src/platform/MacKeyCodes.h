#pragma once

// The macOS virtual key codes (the kVK_ constants of the Carbon HIToolbox) and the
// NSEvent modifier-flag bits, with the platform's published numeric values, so that
// key tables and shortcuts can name keys without the platform headers.
#include <cstdint>

namespace tvi {

// Codes that depend on the position of the key on an ANSI keyboard.
inline constexpr std::uint16_t kVK_ANSI_A = 0x00;
inline constexpr std::uint16_t kVK_ANSI_S = 0x01;
inline constexpr std::uint16_t kVK_ANSI_D = 0x02;
inline constexpr std::uint16_t kVK_ANSI_F = 0x03;
inline constexpr std::uint16_t kVK_ANSI_H = 0x04;
inline constexpr std::uint16_t kVK_ANSI_G = 0x05;
inline constexpr std::uint16_t kVK_ANSI_Z = 0x06;
inline constexpr std::uint16_t kVK_ANSI_X = 0x07;
inline constexpr std::uint16_t kVK_ANSI_C = 0x08;
inline constexpr std::uint16_t kVK_ANSI_V = 0x09;
inline constexpr std::uint16_t kVK_ANSI_B = 0x0B;
inline constexpr std::uint16_t kVK_ANSI_Q = 0x0C;
inline constexpr std::uint16_t kVK_ANSI_W = 0x0D;
inline constexpr std::uint16_t kVK_ANSI_E = 0x0E;
inline constexpr std::uint16_t kVK_ANSI_R = 0x0F;
inline constexpr std::uint16_t kVK_ANSI_Y = 0x10;
inline constexpr std::uint16_t kVK_ANSI_T = 0x11;
inline constexpr std::uint16_t kVK_ANSI_1 = 0x12;
inline constexpr std::uint16_t kVK_ANSI_2 = 0x13;
inline constexpr std::uint16_t kVK_ANSI_3 = 0x14;
inline constexpr std::uint16_t kVK_ANSI_4 = 0x15;
inline constexpr std::uint16_t kVK_ANSI_6 = 0x16;
inline constexpr std::uint16_t kVK_ANSI_5 = 0x17;
inline constexpr std::uint16_t kVK_ANSI_Equal = 0x18;
inline constexpr std::uint16_t kVK_ANSI_9 = 0x19;
inline constexpr std::uint16_t kVK_ANSI_7 = 0x1A;
inline constexpr std::uint16_t kVK_ANSI_Minus = 0x1B;
inline constexpr std::uint16_t kVK_ANSI_8 = 0x1C;
inline constexpr std::uint16_t kVK_ANSI_0 = 0x1D;
inline constexpr std::uint16_t kVK_ANSI_RightBracket = 0x1E;
inline constexpr std::uint16_t kVK_ANSI_O = 0x1F;
inline constexpr std::uint16_t kVK_ANSI_U = 0x20;
inline constexpr std::uint16_t kVK_ANSI_LeftBracket = 0x21;
inline constexpr std::uint16_t kVK_ANSI_I = 0x22;
inline constexpr std::uint16_t kVK_ANSI_P = 0x23;
inline constexpr std::uint16_t kVK_ANSI_L = 0x25;
inline constexpr std::uint16_t kVK_ANSI_J = 0x26;
inline constexpr std::uint16_t kVK_ANSI_Quote = 0x27;
inline constexpr std::uint16_t kVK_ANSI_K = 0x28;
inline constexpr std::uint16_t kVK_ANSI_Semicolon = 0x29;
inline constexpr std::uint16_t kVK_ANSI_Backslash = 0x2A;
inline constexpr std::uint16_t kVK_ANSI_Comma = 0x2B;
inline constexpr std::uint16_t kVK_ANSI_Slash = 0x2C;
inline constexpr std::uint16_t kVK_ANSI_N = 0x2D;
inline constexpr std::uint16_t kVK_ANSI_M = 0x2E;
inline constexpr std::uint16_t kVK_ANSI_Period = 0x2F;
inline constexpr std::uint16_t kVK_ANSI_Grave = 0x32;
inline constexpr std::uint16_t kVK_ANSI_KeypadDecimal = 0x41;
inline constexpr std::uint16_t kVK_ANSI_KeypadMultiply = 0x43;
inline constexpr std::uint16_t kVK_ANSI_KeypadPlus = 0x45;
inline constexpr std::uint16_t kVK_ANSI_KeypadClear = 0x47;
inline constexpr std::uint16_t kVK_ANSI_KeypadDivide = 0x4B;
inline constexpr std::uint16_t kVK_ANSI_KeypadEnter = 0x4C;
inline constexpr std::uint16_t kVK_ANSI_KeypadMinus = 0x4E;
inline constexpr std::uint16_t kVK_ANSI_KeypadEquals = 0x51;
inline constexpr std::uint16_t kVK_ANSI_Keypad0 = 0x52;
inline constexpr std::uint16_t kVK_ANSI_Keypad1 = 0x53;
inline constexpr std::uint16_t kVK_ANSI_Keypad2 = 0x54;
inline constexpr std::uint16_t kVK_ANSI_Keypad3 = 0x55;
inline constexpr std::uint16_t kVK_ANSI_Keypad4 = 0x56;
inline constexpr std::uint16_t kVK_ANSI_Keypad5 = 0x57;
inline constexpr std::uint16_t kVK_ANSI_Keypad6 = 0x58;
inline constexpr std::uint16_t kVK_ANSI_Keypad7 = 0x59;
inline constexpr std::uint16_t kVK_ANSI_Keypad8 = 0x5B;
inline constexpr std::uint16_t kVK_ANSI_Keypad9 = 0x5C;

// Codes of keys that are the same whatever the keyboard layout.
inline constexpr std::uint16_t kVK_Return = 0x24;
inline constexpr std::uint16_t kVK_Tab = 0x30;
inline constexpr std::uint16_t kVK_Space = 0x31;
inline constexpr std::uint16_t kVK_Delete = 0x33;
inline constexpr std::uint16_t kVK_Escape = 0x35;
inline constexpr std::uint16_t kVK_RightCommand = 0x36;
inline constexpr std::uint16_t kVK_Command = 0x37;
inline constexpr std::uint16_t kVK_Shift = 0x38;
inline constexpr std::uint16_t kVK_CapsLock = 0x39;
inline constexpr std::uint16_t kVK_Option = 0x3A;
inline constexpr std::uint16_t kVK_Control = 0x3B;
inline constexpr std::uint16_t kVK_RightShift = 0x3C;
inline constexpr std::uint16_t kVK_RightOption = 0x3D;
inline constexpr std::uint16_t kVK_RightControl = 0x3E;
inline constexpr std::uint16_t kVK_Function = 0x3F;
inline constexpr std::uint16_t kVK_F17 = 0x40;
inline constexpr std::uint16_t kVK_VolumeUp = 0x48;
inline constexpr std::uint16_t kVK_VolumeDown = 0x49;
inline constexpr std::uint16_t kVK_Mute = 0x4A;
inline constexpr std::uint16_t kVK_F18 = 0x4F;
inline constexpr std::uint16_t kVK_F19 = 0x50;
inline constexpr std::uint16_t kVK_F20 = 0x5A;
inline constexpr std::uint16_t kVK_F5 = 0x60;
inline constexpr std::uint16_t kVK_F6 = 0x61;
inline constexpr std::uint16_t kVK_F7 = 0x62;
inline constexpr std::uint16_t kVK_F3 = 0x63;
inline constexpr std::uint16_t kVK_F8 = 0x64;
inline constexpr std::uint16_t kVK_F9 = 0x65;
inline constexpr std::uint16_t kVK_F11 = 0x67;
inline constexpr std::uint16_t kVK_F13 = 0x69;
inline constexpr std::uint16_t kVK_F16 = 0x6A;
inline constexpr std::uint16_t kVK_F14 = 0x6B;
inline constexpr std::uint16_t kVK_F10 = 0x6D;
inline constexpr std::uint16_t kVK_F12 = 0x6F;
inline constexpr std::uint16_t kVK_F15 = 0x71;
inline constexpr std::uint16_t kVK_Help = 0x72;
inline constexpr std::uint16_t kVK_Home = 0x73;
inline constexpr std::uint16_t kVK_PageUp = 0x74;
inline constexpr std::uint16_t kVK_ForwardDelete = 0x75;
inline constexpr std::uint16_t kVK_F4 = 0x76;
inline constexpr std::uint16_t kVK_End = 0x77;
inline constexpr std::uint16_t kVK_F2 = 0x78;
inline constexpr std::uint16_t kVK_PageDown = 0x79;
inline constexpr std::uint16_t kVK_F1 = 0x7A;
inline constexpr std::uint16_t kVK_LeftArrow = 0x7B;
inline constexpr std::uint16_t kVK_RightArrow = 0x7C;
inline constexpr std::uint16_t kVK_DownArrow = 0x7D;
inline constexpr std::uint16_t kVK_UpArrow = 0x7E;

// Codes of keys found only on ISO and JIS keyboards.
inline constexpr std::uint16_t kVK_ISO_Section = 0x0A;
inline constexpr std::uint16_t kVK_JIS_Yen = 0x5D;
inline constexpr std::uint16_t kVK_JIS_Underscore = 0x5E;
inline constexpr std::uint16_t kVK_JIS_KeypadComma = 0x5F;
inline constexpr std::uint16_t kVK_JIS_Eisu = 0x66;
inline constexpr std::uint16_t kVK_JIS_Kana = 0x68;

// NSEvent modifier-flag bits (device-independent part of an event's modifier flags).
inline constexpr std::uint64_t NSEventModifierFlagCapsLock = 1ULL << 16;
inline constexpr std::uint64_t NSEventModifierFlagShift = 1ULL << 17;
inline constexpr std::uint64_t NSEventModifierFlagControl = 1ULL << 18;
inline constexpr std::uint64_t NSEventModifierFlagOption = 1ULL << 19;
inline constexpr std::uint64_t NSEventModifierFlagCommand = 1ULL << 20;
inline constexpr std::uint64_t NSEventModifierFlagNumericPad = 1ULL << 21;
inline constexpr std::uint64_t NSEventModifierFlagHelp = 1ULL << 22;
inline constexpr std::uint64_t NSEventModifierFlagFunction = 1ULL << 23;
inline constexpr std::uint64_t NSEventModifierFlagDeviceIndependentFlagsMask = 0xFFFF0000ULL;

}
