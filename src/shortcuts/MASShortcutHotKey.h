#pragma once

#include "platform/HotKeys.h"
#include "shortcuts/MASShortcut.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace tvi {

// One installed global hot key: the shortcut, its press handler and the platform
// registration, which ends with the object.
class MASShortcutHotKey {
public:
    using Handler = std::function<void()>;

    // Registers the shortcut under signature and number; absent (and logged) when the
    // platform refuses it.
    static std::unique_ptr<MASShortcutHotKey> create(const MASShortcut& shortcut, Handler handler,
                                                     std::shared_ptr<HotKeys> hotKeys, std::uint32_t signature,
                                                     std::uint32_t carbonHotKeyID, bool exclusive);
    ~MASShortcutHotKey();
    MASShortcutHotKey(const MASShortcutHotKey&) = delete;
    MASShortcutHotKey& operator=(const MASShortcutHotKey&) = delete;

    const MASShortcut& shortcut() const { return shortcut_; }
    const Handler& handler() const { return handler_; }
    std::uint32_t carbonHotKeyID() const { return carbonHotKeyID_; }
    // 0 once unregistered.
    HotKeys::EventHotKeyRef carbonHotKey() const { return carbonHotKey_; }

    // Unregisters now; later calls (and the destructor) do nothing.
    void uninstall();
    // Registers again after uninstall() under the same identifier; the platform's status
    // (noErr when it is registered already).
    OSStatus install();

private:
    MASShortcutHotKey(const MASShortcut& shortcut, Handler handler, std::shared_ptr<HotKeys> hotKeys,
                      std::uint32_t signature, std::uint32_t carbonHotKeyID, bool exclusive);

    MASShortcut shortcut_;
    Handler handler_;
    std::shared_ptr<HotKeys> hotKeys_;
    std::uint32_t signature_;
    std::uint32_t carbonHotKeyID_;
    bool exclusive_;
    HotKeys::EventHotKeyRef carbonHotKey_ = 0;
};

}
