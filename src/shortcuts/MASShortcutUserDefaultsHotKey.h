#pragma once

#include "foundation/UserDefaults.h"
#include "shortcuts/MASShortcutMonitor.h"

#include <optional>
#include <string>

namespace tvi {

// A global hot key that follows the shortcut stored under a user-defaults key: installed
// from the stored value at once, re-installed whenever it changes, gone when the value is
// removed or unreadable, and with the object.
class MASShortcutUserDefaultsHotKey {
public:
    using Handler = MASShortcutMonitor::Handler;

    MASShortcutUserDefaultsHotKey(UserDefaults& defaults, std::string userDefaultsKey, Handler handler);
    ~MASShortcutUserDefaultsHotKey();
    MASShortcutUserDefaultsHotKey(const MASShortcutUserDefaultsHotKey&) = delete;
    MASShortcutUserDefaultsHotKey& operator=(const MASShortcutUserDefaultsHotKey&) = delete;

    const std::string& userDefaultsKey() const { return userDefaultsKey_; }
    // The identifier of the installed hot key, if one is installed.
    const std::optional<std::string>& monitor() const { return monitor_; }
    // "values." followed by the key, the path the defaults are observed under.
    std::string observableKeyPath() const { return "values." + userDefaultsKey_; }

private:
    void reinstall();

    UserDefaults& defaults_;
    const std::string userDefaultsKey_;
    const Handler handler_;
    std::optional<std::string> monitor_;
    UserDefaults::ObserverToken observation_ = 0;
};

}
