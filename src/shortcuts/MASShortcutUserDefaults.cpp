#include "shortcuts/MASShortcutUserDefaults.h"

#include "shortcuts/MASShortcutUserDefaultsHotKey.h"

#include <memory>

namespace tvi {

namespace {

using HotKeyTable = std::map<std::string, std::unique_ptr<MASShortcutUserDefaultsHotKey>>;

// Never destroyed: its hot keys would outlive the defaults store and the registry they use.
HotKeyTable& registeredHotKeys()
{
    static HotKeyTable* table = new HotKeyTable;
    return *table;
}

// Takes the binding out of the table before it ends, so that the table is consistent
// whatever its ending sets off.
void endBinding(const std::string& userDefaultsKey)
{
    HotKeyTable& table = registeredHotKeys();
    auto found = table.find(userDefaultsKey);
    if (found == table.end()) return;
    std::unique_ptr<MASShortcutUserDefaultsHotKey> hotKey = std::move(found->second);
    table.erase(found);
}

}

void MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(const std::string& userDefaultsKey,
                                                                        Handler handler)
{
    // The old binding goes first: it holds the same combination, and while it does the new
    // one could not register it, leaving the key without a hot key once the old one ends.
    endBinding(userDefaultsKey);
    auto hotKey =
        std::make_unique<MASShortcutUserDefaultsHotKey>(UserDefaults::standard(), userDefaultsKey, std::move(handler));
    registeredHotKeys()[userDefaultsKey] = std::move(hotKey);
}

void MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(const std::string& userDefaultsKey)
{
    endBinding(userDefaultsKey);
}

void MASShortcutUserDefaults::setGlobalShortcut(const std::optional<MASShortcut>& shortcut,
                                                const std::string& userDefaultsKey)
{
    UserDefaults& defaults = UserDefaults::standard();
    PlistData data = shortcut ? shortcut->data() : PlistData();
    if (data.empty())
        defaults.removeObjectForKey(userDefaultsKey);
    else
        defaults.setData(data, userDefaultsKey);
    defaults.synchronize();
}

std::map<std::string, std::optional<std::string>> MASShortcutUserDefaults::registeredUserDefaultsHotKeys()
{
    std::map<std::string, std::optional<std::string>> result;
    for (const auto& [key, hotKey] : registeredHotKeys())
        result.emplace(key, hotKey->monitor());
    return result;
}

}
