#include "shortcuts/MASShortcutHotKey.h"

#include "diagnostics/DDLogMacros.h"

namespace tvi {

MASShortcutHotKey::MASShortcutHotKey(const MASShortcut& shortcut, Handler handler, std::shared_ptr<HotKeys> hotKeys,
                                     std::uint32_t carbonHotKeyID)
    : shortcut_(shortcut), handler_(std::move(handler)), hotKeys_(std::move(hotKeys)), carbonHotKeyID_(carbonHotKeyID)
{
}

std::unique_ptr<MASShortcutHotKey> MASShortcutHotKey::create(const MASShortcut& shortcut, Handler handler,
                                                             std::shared_ptr<HotKeys> hotKeys,
                                                             std::uint32_t signature, std::uint32_t carbonHotKeyID,
                                                             bool exclusive)
{
    std::unique_ptr<MASShortcutHotKey> hotKey(
        new MASShortcutHotKey(shortcut, std::move(handler), std::move(hotKeys), carbonHotKeyID));
    HotKeys::HotKeyRegistration registration = hotKey->hotKeys_->registerEventHotKey(
        shortcut.carbonKeyCode(), shortcut.carbonFlags(), EventHotKeyID{signature, carbonHotKeyID},
        exclusive ? kEventHotKeyExclusive : kEventHotKeyNoOptions);
    if (registration.status != noErr) {
        DDLogWarn("%@: Hot key %@ could not be registered, status %d", shortcut.description(), registration.status);
        return nullptr;
    }
    hotKey->carbonHotKey_ = registration.hotKey;
    return hotKey;
}

MASShortcutHotKey::~MASShortcutHotKey() { uninstall(); }

void MASShortcutHotKey::uninstall()
{
    if (carbonHotKey_ == 0) return;
    hotKeys_->unregisterEventHotKey(carbonHotKey_);
    carbonHotKey_ = 0;
}

}
