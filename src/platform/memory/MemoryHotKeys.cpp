#include "platform/memory/MemoryHotKeys.h"

#include "foundation/DispatchQueue.h"

namespace tvi {

bool MemoryHotKeys::isAvailable() const
{
    std::lock_guard lock(mutex_);
    return available_;
}

HotKeys::HandlerInstallation MemoryHotKeys::installEventHandler(EventHandler handler)
{
    std::lock_guard lock(mutex_);
    if (!available_) return {eventInternalErr, 0};
    if (!handler) return {paramErr, 0};
    EventHandlerRef ref = nextRef_++;
    handlers_.emplace(ref, std::move(handler));
    return {noErr, ref};
}

OSStatus MemoryHotKeys::removeEventHandler(EventHandlerRef handler)
{
    std::lock_guard lock(mutex_);
    return handlers_.erase(handler) ? noErr : paramErr;
}

bool MemoryHotKeys::isTakenLocked(std::uint32_t keyCode, std::uint32_t modifiers, bool exclusive) const
{
    for (const auto& [ref, entry] : hotKeys_) {
        if (entry.hotKey.keyCode != keyCode || entry.hotKey.modifiers != modifiers) continue;
        if (exclusive || (entry.hotKey.options & kEventHotKeyExclusive)) return true;
    }
    return false;
}

HotKeys::HotKeyRegistration MemoryHotKeys::registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                               EventHotKeyID hotKeyID, std::uint32_t options)
{
    std::lock_guard lock(mutex_);
    if (!available_) return {eventInternalErr, 0};
    if (refusal_ != noErr) return {refusal_, 0};
    if (keyCode > kMaximumKeyCode) return {eventHotKeyInvalidErr, 0};
    if (isTakenLocked(keyCode, modifiers, options & kEventHotKeyExclusive)) return {eventHotKeyExistsErr, 0};
    EventHotKeyRef ref = nextRef_++;
    hotKeys_.emplace(ref, Entry{{keyCode, modifiers, hotKeyID, options}, false});
    return {noErr, ref};
}

OSStatus MemoryHotKeys::unregisterEventHotKey(EventHotKeyRef hotKey)
{
    std::lock_guard lock(mutex_);
    auto found = hotKeys_.find(hotKey);
    if (found == hotKeys_.end() || found->second.foreign) return paramErr;
    hotKeys_.erase(found);
    return noErr;
}

std::optional<std::vector<SymbolicHotKey>> MemoryHotKeys::copySymbolicHotKeys() const
{
    std::lock_guard lock(mutex_);
    return symbolicHotKeys_;
}

std::vector<HotKeysTestInterface::RegisteredHotKey> MemoryHotKeys::registeredHotKeys() const
{
    std::lock_guard lock(mutex_);
    std::vector<RegisteredHotKey> result;
    for (const auto& [ref, entry] : hotKeys_)
        if (!entry.foreign) result.push_back(entry.hotKey);
    return result;
}

std::size_t MemoryHotKeys::installedEventHandlerCount() const
{
    std::lock_guard lock(mutex_);
    return handlers_.size();
}

void MemoryHotKeys::occupy(std::uint32_t keyCode, std::uint32_t modifiers, bool exclusive)
{
    std::lock_guard lock(mutex_);
    RegisteredHotKey hotKey{keyCode, modifiers, {}, exclusive ? kEventHotKeyExclusive : kEventHotKeyNoOptions};
    hotKeys_.emplace(nextRef_++, Entry{hotKey, true});
}

void MemoryHotKeys::setRegistrationRefusal(OSStatus status)
{
    std::lock_guard lock(mutex_);
    refusal_ = status;
}

void MemoryHotKeys::setAvailable(bool available)
{
    std::lock_guard lock(mutex_);
    available_ = available;
}

std::size_t MemoryHotKeys::press(std::uint32_t keyCode, std::uint32_t modifiers)
{
    std::vector<EventHotKeyID> pressed;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ref, entry] : hotKeys_) {
            if (!entry.foreign && entry.hotKey.keyCode == keyCode && entry.hotKey.modifiers == modifiers)
                pressed.push_back(entry.hotKey.hotKeyID);
        }
    }
    for (const EventHotKeyID& id : pressed)
        postEvent(HotKeyEvent{kEventClassKeyboard, kEventHotKeyPressed, id});
    return pressed.size();
}

void MemoryHotKeys::postEvent(HotKeyEvent event)
{
    // The backend may be gone by the time the main queue gets to the event; then nobody listens.
    std::weak_ptr<const MemoryHotKeys> weak = weak_from_this();
    DispatchQueue::main()->async([weak, event] {
        if (auto self = weak.lock()) self->deliver(event);
    });
}

void MemoryHotKeys::deliver(const HotKeyEvent& event) const
{
    std::vector<EventHandlerRef> chain;
    {
        std::lock_guard lock(mutex_);
        for (auto it = handlers_.rbegin(); it != handlers_.rend(); ++it)
            chain.push_back(it->first);
    }
    // Each handler is looked up again just before its call (an earlier one may have removed
    // it) and runs without the lock, so that it may register and remove hot keys.
    for (EventHandlerRef ref : chain) {
        EventHandler handler;
        {
            std::lock_guard lock(mutex_);
            auto found = handlers_.find(ref);
            if (found == handlers_.end()) continue;
            handler = found->second;
        }
        if (handler(event) != eventNotHandledErr) return;
    }
}

void MemoryHotKeys::setSymbolicHotKeys(std::optional<std::vector<SymbolicHotKey>> hotKeys)
{
    std::lock_guard lock(mutex_);
    symbolicHotKeys_ = std::move(hotKeys);
}

}
