#pragma once

#include "shortcuts/MASShortcut.h"
#include "shortcuts/MASShortcutMonitor.h"

#include <map>
#include <optional>
#include <string>

namespace tvi {

// Global hot keys bound to keys of the standard user defaults: each follows the shortcut
// stored under its key (see MASShortcutUserDefaultsHotKey). Use from the main thread only.
class MASShortcutUserDefaults {
public:
    using Handler = MASShortcutMonitor::Handler;

    MASShortcutUserDefaults() = delete;

    // Binds a hot key with this handler to the key; an earlier binding of the key ends first.
    static void registerGlobalShortcutWithUserDefaultsKey(const std::string& userDefaultsKey, Handler handler);
    // Ends the binding and removes its hot key; the stored value stays.
    static void unregisterGlobalShortcutWithUserDefaultsKey(const std::string& userDefaultsKey);
    // Stores the shortcut's archive under the key, or removes the key for no shortcut.
    static void setGlobalShortcut(const std::optional<MASShortcut>& shortcut, const std::string& userDefaultsKey);
    // Bound key -> identifier of its installed hot key (absent while nothing is installed).
    static std::map<std::string, std::optional<std::string>> registeredUserDefaultsHotKeys();
};

}
