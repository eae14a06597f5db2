#pragma once

#include "platform/HotKeys.h"
#include "platform/memory/HotKeysTestInterface.h"

#include <map>
#include <memory>
#include <mutex>

namespace tvi {

// Hot keys kept in memory; presses come only from tests (press, postEvent) and reach the
// handlers on the main queue, as the desktop's would.
class MemoryHotKeys : public HotKeys,
                      public HotKeysTestInterface,
                      public std::enable_shared_from_this<MemoryHotKeys> {
public:
    // The largest key code a keyboard has.
    static constexpr std::uint32_t kMaximumKeyCode = 0x7F;

    bool isAvailable() const override;
    HandlerInstallation installEventHandler(EventHandler handler) override;
    OSStatus removeEventHandler(EventHandlerRef handler) override;
    HotKeyRegistration registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers, EventHotKeyID hotKeyID,
                                           std::uint32_t options) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) override;
    std::optional<std::vector<SymbolicHotKey>> copySymbolicHotKeys() const override;

    std::vector<RegisteredHotKey> registeredHotKeys() const override;
    std::size_t installedEventHandlerCount() const override;
    void occupy(std::uint32_t keyCode, std::uint32_t modifiers, bool exclusive) override;
    void setRegistrationRefusal(OSStatus status) override;
    void setAvailable(bool available) override;
    std::size_t press(std::uint32_t keyCode, std::uint32_t modifiers) override;
    void postEvent(HotKeyEvent event) override;
    void setSymbolicHotKeys(std::optional<std::vector<SymbolicHotKey>> hotKeys) override;

private:
    struct Entry {
        RegisteredHotKey hotKey;
        bool foreign = false;
    };

    bool isTakenLocked(std::uint32_t keyCode, std::uint32_t modifiers, bool exclusive) const;
    void deliver(const HotKeyEvent& event) const;

    mutable std::mutex mutex_;
    std::uint64_t nextRef_ = 1;
    std::map<EventHandlerRef, EventHandler> handlers_;
    std::map<EventHotKeyRef, Entry> hotKeys_; // keys grow with registration order
    std::optional<std::vector<SymbolicHotKey>> symbolicHotKeys_{std::vector<SymbolicHotKey>{}};
    OSStatus refusal_ = noErr;
    bool available_ = true;
};

}
