#include "shortcuts/TVIHotKeyUtilities.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/MacKeyCodes.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tvi {

namespace {

// A row of the key-name table, written from the constant itself so that name and code cannot disagree.
#define TVI_KEY_ROW(constant) {#constant, constant}

constexpr std::pair<const char*, std::uint16_t> keyNameRows[]{
    // Letters.
    TVI_KEY_ROW(kVK_ANSI_A), TVI_KEY_ROW(kVK_ANSI_S), TVI_KEY_ROW(kVK_ANSI_D), TVI_KEY_ROW(kVK_ANSI_F),
    TVI_KEY_ROW(kVK_ANSI_H), TVI_KEY_ROW(kVK_ANSI_G), TVI_KEY_ROW(kVK_ANSI_Z), TVI_KEY_ROW(kVK_ANSI_X),
    TVI_KEY_ROW(kVK_ANSI_C), TVI_KEY_ROW(kVK_ANSI_V), TVI_KEY_ROW(kVK_ANSI_B), TVI_KEY_ROW(kVK_ANSI_Q),
    TVI_KEY_ROW(kVK_ANSI_W), TVI_KEY_ROW(kVK_ANSI_E), TVI_KEY_ROW(kVK_ANSI_R), TVI_KEY_ROW(kVK_ANSI_Y),
    TVI_KEY_ROW(kVK_ANSI_T), TVI_KEY_ROW(kVK_ANSI_O), TVI_KEY_ROW(kVK_ANSI_U), TVI_KEY_ROW(kVK_ANSI_I),
    TVI_KEY_ROW(kVK_ANSI_P), TVI_KEY_ROW(kVK_ANSI_L), TVI_KEY_ROW(kVK_ANSI_J), TVI_KEY_ROW(kVK_ANSI_K),
    TVI_KEY_ROW(kVK_ANSI_N), TVI_KEY_ROW(kVK_ANSI_M),
    // Digits.
    TVI_KEY_ROW(kVK_ANSI_1), TVI_KEY_ROW(kVK_ANSI_2), TVI_KEY_ROW(kVK_ANSI_3), TVI_KEY_ROW(kVK_ANSI_4),
    TVI_KEY_ROW(kVK_ANSI_6), TVI_KEY_ROW(kVK_ANSI_5), TVI_KEY_ROW(kVK_ANSI_9), TVI_KEY_ROW(kVK_ANSI_7),
    TVI_KEY_ROW(kVK_ANSI_8), TVI_KEY_ROW(kVK_ANSI_0),
    // Punctuation.
    TVI_KEY_ROW(kVK_ANSI_Equal), TVI_KEY_ROW(kVK_ANSI_Minus), TVI_KEY_ROW(kVK_ANSI_RightBracket),
    TVI_KEY_ROW(kVK_ANSI_LeftBracket), TVI_KEY_ROW(kVK_ANSI_Quote), TVI_KEY_ROW(kVK_ANSI_Semicolon),
    TVI_KEY_ROW(kVK_ANSI_Backslash), TVI_KEY_ROW(kVK_ANSI_Comma), TVI_KEY_ROW(kVK_ANSI_Slash),
    TVI_KEY_ROW(kVK_ANSI_Period), TVI_KEY_ROW(kVK_ANSI_Grave),
    // Keypad.
    TVI_KEY_ROW(kVK_ANSI_KeypadDecimal), TVI_KEY_ROW(kVK_ANSI_KeypadMultiply), TVI_KEY_ROW(kVK_ANSI_KeypadPlus),
    TVI_KEY_ROW(kVK_ANSI_KeypadClear), TVI_KEY_ROW(kVK_ANSI_KeypadDivide), TVI_KEY_ROW(kVK_ANSI_KeypadEnter),
    TVI_KEY_ROW(kVK_ANSI_KeypadMinus), TVI_KEY_ROW(kVK_ANSI_KeypadEquals), TVI_KEY_ROW(kVK_ANSI_Keypad0),
    TVI_KEY_ROW(kVK_ANSI_Keypad1), TVI_KEY_ROW(kVK_ANSI_Keypad2), TVI_KEY_ROW(kVK_ANSI_Keypad3),
    TVI_KEY_ROW(kVK_ANSI_Keypad4), TVI_KEY_ROW(kVK_ANSI_Keypad5), TVI_KEY_ROW(kVK_ANSI_Keypad6),
    TVI_KEY_ROW(kVK_ANSI_Keypad7), TVI_KEY_ROW(kVK_ANSI_Keypad8), TVI_KEY_ROW(kVK_ANSI_Keypad9),
    // Keys independent of the layout. There is deliberately no row for the right-hand Command key.
    TVI_KEY_ROW(kVK_Return), TVI_KEY_ROW(kVK_Tab), TVI_KEY_ROW(kVK_Space), TVI_KEY_ROW(kVK_Delete),
    TVI_KEY_ROW(kVK_Escape), TVI_KEY_ROW(kVK_Command), TVI_KEY_ROW(kVK_Shift), TVI_KEY_ROW(kVK_CapsLock),
    TVI_KEY_ROW(kVK_Option), TVI_KEY_ROW(kVK_Control), TVI_KEY_ROW(kVK_RightShift), TVI_KEY_ROW(kVK_RightOption),
    TVI_KEY_ROW(kVK_RightControl), TVI_KEY_ROW(kVK_Function), TVI_KEY_ROW(kVK_VolumeUp),
    TVI_KEY_ROW(kVK_VolumeDown), TVI_KEY_ROW(kVK_Mute), TVI_KEY_ROW(kVK_Help), TVI_KEY_ROW(kVK_Home),
    TVI_KEY_ROW(kVK_PageUp), TVI_KEY_ROW(kVK_ForwardDelete), TVI_KEY_ROW(kVK_End), TVI_KEY_ROW(kVK_PageDown),
    TVI_KEY_ROW(kVK_LeftArrow), TVI_KEY_ROW(kVK_RightArrow), TVI_KEY_ROW(kVK_DownArrow), TVI_KEY_ROW(kVK_UpArrow),
    // Function keys.
    TVI_KEY_ROW(kVK_F1), TVI_KEY_ROW(kVK_F2), TVI_KEY_ROW(kVK_F3), TVI_KEY_ROW(kVK_F4), TVI_KEY_ROW(kVK_F5),
    TVI_KEY_ROW(kVK_F6), TVI_KEY_ROW(kVK_F7), TVI_KEY_ROW(kVK_F8), TVI_KEY_ROW(kVK_F9), TVI_KEY_ROW(kVK_F10),
    TVI_KEY_ROW(kVK_F11), TVI_KEY_ROW(kVK_F12), TVI_KEY_ROW(kVK_F13), TVI_KEY_ROW(kVK_F14), TVI_KEY_ROW(kVK_F15),
    TVI_KEY_ROW(kVK_F16), TVI_KEY_ROW(kVK_F17), TVI_KEY_ROW(kVK_F18), TVI_KEY_ROW(kVK_F19), TVI_KEY_ROW(kVK_F20),
    // ISO and JIS keys.
    TVI_KEY_ROW(kVK_ISO_Section), TVI_KEY_ROW(kVK_JIS_Yen), TVI_KEY_ROW(kVK_JIS_Underscore),
    TVI_KEY_ROW(kVK_JIS_KeypadComma), TVI_KEY_ROW(kVK_JIS_Eisu), TVI_KEY_ROW(kVK_JIS_Kana),
};

#undef TVI_KEY_ROW

// Windows virtual-key codes as Calvetto sends them.
constexpr std::pair<std::uint32_t, const char*> clientCodeRows[]{
    {8, "kVK_Delete"}, // Backspace
    {9, "kVK_Tab"},
    {10, "kVK_ISO_Section"},
    {12, "kVK_ANSI_KeypadClear"},
    {13, "kVK_Return"}, // both Enter keys
    {20, "kVK_CapsLock"},
    {27, "kVK_Escape"},
    {32, "kVK_Space"},
    {33, "kVK_PageUp"},
    {34, "kVK_PageDown"},
    {35, "kVK_End"},
    {36, "kVK_Home"},
    {37, "kVK_LeftArrow"},
    {38, "kVK_UpArrow"},
    {39, "kVK_RightArrow"},
    {40, "kVK_DownArrow"},
    {45, "kVK_Help"}, // Insert sits where the Mac keyboard has Help
    {46, "kVK_ForwardDelete"},
    {48, "kVK_ANSI_0"},
    {49, "kVK_ANSI_1"},
    {50, "kVK_ANSI_2"},
    {51, "kVK_ANSI_3"},
    {52, "kVK_ANSI_4"},
    {53, "kVK_ANSI_5"},
    {54, "kVK_ANSI_6"},
    {55, "kVK_ANSI_7"},
    {56, "kVK_ANSI_8"},
    {57, "kVK_ANSI_9"},
    {63, "kVK_Function"},
    {65, "kVK_ANSI_A"},
    {66, "kVK_ANSI_B"},
    {67, "kVK_ANSI_C"},
    {68, "kVK_ANSI_D"},
    {69, "kVK_ANSI_E"},
    {70, "kVK_ANSI_F"},
    {71, "kVK_ANSI_G"},
    {72, "kVK_ANSI_H"},
    {73, "kVK_ANSI_I"},
    {74, "kVK_ANSI_J"},
    {75, "kVK_ANSI_K"},
    {76, "kVK_ANSI_L"},
    {77, "kVK_ANSI_M"},
    {78, "kVK_ANSI_N"},
    {79, "kVK_ANSI_O"},
    {80, "kVK_ANSI_P"},
    {81, "kVK_ANSI_Q"},
    {82, "kVK_ANSI_R"},
    {83, "kVK_ANSI_S"},
    {84, "kVK_ANSI_T"},
    {85, "kVK_ANSI_U"},
    {86, "kVK_ANSI_V"},
    {87, "kVK_ANSI_W"},
    {88, "kVK_ANSI_X"},
    {89, "kVK_ANSI_Y"},
    {90, "kVK_ANSI_Z"},
    {91, "kVK_Command"}, // left Windows key; the right one (92) has no row
    {94, "kVK_JIS_Underscore"},
    {95, "kVK_JIS_KeypadComma"},
    {96, "kVK_ANSI_Keypad0"},
    {97, "kVK_ANSI_Keypad1"},
    {98, "kVK_ANSI_Keypad2"},
    {99, "kVK_ANSI_Keypad3"},
    {100, "kVK_ANSI_Keypad4"},
    {101, "kVK_ANSI_Keypad5"},
    {102, "kVK_ANSI_Keypad6"},
    {103, "kVK_ANSI_Keypad7"},
    {104, "kVK_ANSI_Keypad8"},
    {105, "kVK_ANSI_Keypad9"},
    {106, "kVK_ANSI_KeypadMultiply"},
    {107, "kVK_ANSI_KeypadPlus"},
    {108, "kVK_ANSI_KeypadEnter"},
    {109, "kVK_ANSI_KeypadMinus"},
    {110, "kVK_ANSI_KeypadDecimal"},
    {111, "kVK_ANSI_KeypadDivide"},
    {112, "kVK_F1"}, // F21 to F24 (132 to 135) have no Mac key
    {113, "kVK_F2"},
    {114, "kVK_F3"},
    {115, "kVK_F4"},
    {116, "kVK_F5"},
    {117, "kVK_F6"},
    {118, "kVK_F7"},
    {119, "kVK_F8"},
    {120, "kVK_F9"},
    {121, "kVK_F10"},
    {122, "kVK_F11"},
    {123, "kVK_F12"},
    {124, "kVK_F13"},
    {125, "kVK_F14"},
    {126, "kVK_F15"},
    {127, "kVK_F16"},
    {128, "kVK_F17"},
    {129, "kVK_F18"},
    {130, "kVK_F19"},
    {131, "kVK_F20"},
    {160, "kVK_Shift"}, // the side-less Shift, Control and Alt codes 16, 17, 18 have no row
    {161, "kVK_RightShift"},
    {162, "kVK_Control"},
    {163, "kVK_RightControl"},
    {164, "kVK_Option"}, // Alt
    {165, "kVK_RightOption"},
    {173, "kVK_Mute"},
    {174, "kVK_VolumeDown"},
    {175, "kVK_VolumeUp"},
    {186, "kVK_ANSI_Semicolon"},
    {187, "kVK_ANSI_Equal"},
    {188, "kVK_ANSI_Comma"},
    {189, "kVK_ANSI_Minus"},
    {190, "kVK_ANSI_Period"},
    {191, "kVK_ANSI_Slash"},
    // OEM-3, the backquote key left of 1 on US layouts, was once listed for both Grave and
    // ISO_Section. Grave is the key that carries the backquote on a Mac, and the ISO section key
    // already has its own code (10); with Section here Grave would be unreachable from Calvetto.
    {192, "kVK_ANSI_Grave"},
    {219, "kVK_ANSI_LeftBracket"},
    {220, "kVK_ANSI_Backslash"},
    {221, "kVK_ANSI_RightBracket"},
    {222, "kVK_ANSI_Quote"},
};

// The left-hand and right-hand names give the same bit: NSEvent modifier flags have no side.
constexpr std::pair<const char*, std::uint64_t> modifierRows[]{
    {"kVK_Command", NSEventModifierFlagCommand},
    {"kVK_Shift", NSEventModifierFlagShift},
    {"kVK_Option", NSEventModifierFlagOption},
    {"kVK_Control", NSEventModifierFlagControl},
    {"kVK_RightCommand", NSEventModifierFlagCommand},
    {"kVK_RightShift", NSEventModifierFlagShift},
    {"kVK_RightOption", NSEventModifierFlagOption},
    {"kVK_RightControl", NSEventModifierFlagControl},
};

constexpr std::uint16_t macFunctionKeyCodes[]{
    kVK_F1,  kVK_F2,  kVK_F3,  kVK_F4,  kVK_F5,  kVK_F6,  kVK_F7,  kVK_F8,  kVK_F9,  kVK_F10,
    kVK_F11, kVK_F12, kVK_F13, kVK_F14, kVK_F15, kVK_F16, kVK_F17, kVK_F18, kVK_F19, kVK_F20,
};

constexpr std::uint32_t winF1 = 112;
constexpr std::uint32_t winF24 = 135;
constexpr std::uint32_t winEscape = 27;

template <typename Table, typename Rows>
Table buildTable(const Rows& rows)
{
    return Table(std::begin(rows), std::end(rows));
}

// A table lookup with a fall-back for keys that have no entry.
template <typename Table, typename Key>
auto valueOr(const Table& table, const Key& key, typename Table::mapped_type fallback)
{
    const auto found = table.find(key);
    return found == table.end() ? fallback : found->second;
}

}

const TVIHotKeyUtilities::KeyNameTable& TVIHotKeyUtilities::stringToOSXKeycode()
{
    // Function-local statics are initialised exactly once, also when threads race on first use.
    static const KeyNameTable table = buildTable<KeyNameTable>(keyNameRows);
    return table;
}

const TVIHotKeyUtilities::ClientCodeTable& TVIHotKeyUtilities::keycodeToOSXKeycodeString()
{
    static const ClientCodeTable table = buildTable<ClientCodeTable>(clientCodeRows);
    return table;
}

const TVIHotKeyUtilities::ModifierTable& TVIHotKeyUtilities::modifierFlagToMask()
{
    static const ModifierTable table = buildTable<ModifierTable>(modifierRows);
    return table;
}

std::optional<std::string> TVIHotKeyUtilities::keycodeTranslator(std::uint32_t clientKeyCode)
{
    const auto& table = keycodeToOSXKeycodeString();
    const auto found = table.find(clientKeyCode);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

std::uint64_t TVIHotKeyUtilities::stringToKeycodeTranslator(std::string_view keyName)
{
    return valueOr(stringToOSXKeycode(), keyName, std::uint16_t{0});
}

bool TVIHotKeyUtilities::isModifier(std::string_view keyName)
{
    return keyName == "kVK_Control" || keyName == "kVK_Shift" || keyName == "kVK_Option" ||
           keyName == "kVK_Command";
}

std::uint64_t TVIHotKeyUtilities::createModifierFlags(std::string_view firstKeyName, std::string_view secondKeyName,
                                                      std::string_view /*thirdKeyName: the main key*/,
                                                      std::int32_t keyCount)
{
    const auto& masks = modifierFlagToMask();
    std::uint64_t mask = 0;
    if (keyCount == 2) {
        if (isModifier(firstKeyName) && !firstKeyName.empty()) {
            DDLogInfo("%@: Modifier:%@", firstKeyName);
            mask = valueOr(masks, firstKeyName, 0);
        }
    } else if (keyCount == 3) {
        if (isModifier(firstKeyName) && !firstKeyName.empty()) {
            DDLogInfo("%@: First Modifier:%@", firstKeyName);
            mask = valueOr(masks, firstKeyName, 0);
        }
        if (isModifier(secondKeyName) && !secondKeyName.empty()) {
            DDLogInfo("%@: Second Modifier:%@", secondKeyName);
            mask |= valueOr(masks, secondKeyName, 0);
        }
    }
    return mask;
}

bool TVIHotKeyUtilities::isKeyAWinFunctionKey(std::uint32_t clientKeyCode)
{
    return clientKeyCode >= winF1 && clientKeyCode <= winF24;
}

bool TVIHotKeyUtilities::isKeyAWinEscapeKey(std::uint32_t clientKeyCode)
{
    return clientKeyCode == winEscape;
}

bool TVIHotKeyUtilities::isKeyAOSXFunctionKey(std::uint64_t macKeyCode)
{
    return std::find(std::begin(macFunctionKeyCodes), std::end(macFunctionKeyCodes), macKeyCode) !=
           std::end(macFunctionKeyCodes);
}

}
