#pragma once

#include "platform/HotKeys.h"
#include "shortcuts/MASShortcut.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace tvi {

// The process's registry of global hot keys (monitors). Each monitor is a shortcut with a
// press handler, known by an identifier; presses arrive on the main queue and run the
// handler there. Use it from the main thread only.
class MASShortcutMonitor {
public:
    using Handler = std::function<void()>;
    // 'MASS': the signature of every hot key registered here.
    static constexpr std::uint32_t kMASShortcutSignature = 0x4D415353;

    MASShortcutMonitor() = delete;

    // The monitor identifier, or absent when the shortcut is absent, has no key, is already
    // registered (the first registration stays in force) or the platform refuses it.
    static std::optional<std::string> addGlobalHotkeyMonitorWithShortcut(const std::optional<MASShortcut>& shortcut,
                                                                         Handler handler);
    // Absent and unknown identifiers are ignored. Removing the last monitor removes the
    // common event handler; the next registration installs it again.
    static void removeGlobalHotkeyMonitor(const std::optional<std::string>& monitor);

    // While suspended (a shortcut recorder is recording), every monitor stays in the registry
    // but none holds its platform hot key, so the keys reach the recorder instead of firing.
    // Registrations meanwhile are checked with the platform, then wait. Counted: the last
    // resume installs them all again; one the platform now refuses is logged and stays off.
    static void suspendHotKeys();
    static void resumeHotKeys();
    static bool hotKeysSuspended();

    // Whether a new monitor for the shortcut would be refused, without registering one:
    // eventHotKeyExistsErr when the registry holds it already or another application holds
    // it exclusively, the platform's status otherwise (noErr: free).
    static OSStatus probeRegistration(const MASShortcut& shortcut);

    // Class-wide, read at each registration: register with the platform's exclusive option. True at first.
    static void setExclusiveMode(bool exclusive);
    static bool exclusiveMode();

    // Identifier -> shortcut of every monitor.
    static std::map<std::string, MASShortcut> copyOfMASRegisteredHotKeys();
    // The identifier a shortcut is registered under: its description, then its key code and
    // modifier mask, so that shortcuts shown alike (keypad 1 and 1) stay apart.
    static std::string monitorIdentifier(const MASShortcut& shortcut);

    // The common event handler: runs the handler of the pressed 'MASS' hot key.
    static OSStatus CarbonCallback(const HotKeyEvent& event);
};

}
