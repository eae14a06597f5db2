#include "platform/memory/MemoryPasteboard.h"

namespace tvi {

bool MemoryPasteboard::isAvailable() const
{
    std::lock_guard lock(mutex_);
    return available_;
}

std::int64_t MemoryPasteboard::changeCount() const
{
    std::lock_guard lock(mutex_);
    return changeCount_;
}

std::optional<std::string> MemoryPasteboard::plainText() const
{
    std::lock_guard lock(mutex_);
    return text_;
}

bool MemoryPasteboard::canSignalChanges() const { return true; }

Pasteboard::ListenerToken MemoryPasteboard::addChangeListener(ChangeListener listener)
{
    return listeners_.add(std::move(listener));
}

void MemoryPasteboard::removeChangeListener(ListenerToken token) { listeners_.remove(token); }

void MemoryPasteboard::writeText(std::string text) { write(std::move(text)); }

void MemoryPasteboard::writeNonText() { write(std::nullopt); }

std::optional<std::string> MemoryPasteboard::content() const { return plainText(); }

void MemoryPasteboard::setAvailable(bool available)
{
    {
        std::lock_guard lock(mutex_);
        available_ = available;
    }
    listeners_.notifyAll();
}

void MemoryPasteboard::write(std::optional<std::string> text)
{
    {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
        ++changeCount_;
    }
    listeners_.notifyAll();
}

}
