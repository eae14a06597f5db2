#include "shortcuts/MASShortcutHotKey.h"

#include "diagnostics/DDLogMacros.h"

namespace tvi {

MASShortcutHotKey::MASShortcutHotKey(const MASShortcut& shortcut, Handler handler, std::shared_ptr<HotKeys> hotKeys,
                                     std::uint32_t signature, std::uint32_t carbonHotKeyID, bool exclusive)
    : shortcut_(shortcut), handler_(std::move(handler)), hotKeys_(std::move(hotKeys)), signature_(signature),
      carbonHotKeyID_(carbonHotKeyID), exclusive_(exclusive)
{
}

std::unique_ptr<MASShortcutHotKey> MASShortcutHotKey::create(const MASShortcut& shortcut, Handler handler,
                                                             std::shared_ptr<HotKeys> hotKeys,
                                                             std::uint32_t signature, std::uint32_t carbonHotKeyID,
                                                             bool exclusive)
{
    std::unique_ptr<MASShortcutHotKey> hotKey(
        new MASShortcutHotKey(shortcut, std::move(handler), std::move(hotKeys), signature, carbonHotKeyID, exclusive));
    if (OSStatus status = hotKey->install(); status != noErr) {
        DDLogWarn("%@: Hot key %@ could not be registered, status %d", shortcut.description(), status);
        return nullptr;
    }
    return hotKey;
}

MASShortcutHotKey::~MASShortcutHotKey() { uninstall(); }

OSStatus MASShortcutHotKey::install()
{
    if (carbonHotKey_ != 0) return noErr;
    HotKeys::HotKeyRegistration registration = hotKeys_->registerEventHotKey(
        shortcut_.carbonKeyCode(), shortcut_.carbonFlags(), EventHotKeyID{signature_, carbonHotKeyID_},
        exclusive_ ? kEventHotKeyExclusive : kEventHotKeyNoOptions);
    if (registration.status == noErr) carbonHotKey_ = registration.hotKey;
    return registration.status;
}

void MASShortcutHotKey::uninstall()
{
    if (carbonHotKey_ == 0) return;
    hotKeys_->unregisterEventHotKey(carbonHotKey_);
    carbonHotKey_ = 0;
}

}
