#include "shortcuts/MASShortcutUserDefaultsHotKey.h"

namespace tvi {

MASShortcutUserDefaultsHotKey::MASShortcutUserDefaultsHotKey(UserDefaults& defaults, std::string userDefaultsKey,
                                                             Handler handler)
    : defaults_(defaults), userDefaultsKey_(std::move(userDefaultsKey)), handler_(std::move(handler))
{
    observation_ = defaults_.addObserver(userDefaultsKey_, [this](const PlistValue&) { reinstall(); }, this);
    reinstall(); // the value stored now counts as the first change
}

MASShortcutUserDefaultsHotKey::~MASShortcutUserDefaultsHotKey()
{
    defaults_.removeObserver(observation_);
    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor_);
}

void MASShortcutUserDefaultsHotKey::reinstall()
{
    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor_);
    monitor_.reset();
    std::optional<MASShortcut> shortcut = MASShortcut::shortcutWithData(defaults_.dataForKey(userDefaultsKey_));
    if (shortcut) monitor_ = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, handler_);
}

}
