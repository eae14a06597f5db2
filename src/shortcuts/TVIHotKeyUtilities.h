#pragma once

// Translation between Calvetto's key codes (Windows virtual-key codes), key names
// (the names of the macOS kVK_ constants, e.g. "kVK_F5") and macOS key codes and
// NSEvent modifier masks. Every translation goes through the key name so that
// each table is readable in the log.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

class TVIHotKeyUtilities {
public:
    using KeyNameTable = std::map<std::string, std::uint16_t, std::less<>>;
    using ClientCodeTable = std::map<std::uint32_t, std::string>;
    using ModifierTable = std::map<std::string, std::uint64_t, std::less<>>;

    TVIHotKeyUtilities() = delete;

    // Key name -> macOS virtual key code.
    static const KeyNameTable& stringToOSXKeycode();
    // Client (Windows virtual-key) code -> key name.
    static const ClientCodeTable& keycodeToOSXKeycodeString();
    // Key name -> NSEvent modifier mask.
    static const ModifierTable& modifierFlagToMask();

    // The key name of a client code; absent when the code has no row.
    static std::optional<std::string> keycodeTranslator(std::uint32_t clientKeyCode);
    // The macOS key code of a key name; 0 when the name has no entry. As 0 is also
    // the A key, pass only non-empty names that keycodeTranslator produced.
    static std::uint64_t stringToKeycodeTranslator(std::string_view keyName);
    // True only for the four left-hand modifier names.
    static bool isModifier(std::string_view keyName);
    // Modifier mask of a combination of keyCount keys; the last key is the main key
    // and is never examined. Pass "" for a name that is absent.
    static std::uint64_t createModifierFlags(std::string_view firstKeyName, std::string_view secondKeyName,
                                             std::string_view thirdKeyName, std::int32_t keyCount);

    // Client codes of F1 to F24.
    static bool isKeyAWinFunctionKey(std::uint32_t clientKeyCode);
    static bool isKeyAWinEscapeKey(std::uint32_t clientKeyCode);
    // macOS codes of F1 to F20.
    static bool isKeyAOSXFunctionKey(std::uint64_t macKeyCode);
};

}
