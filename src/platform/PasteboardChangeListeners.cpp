#include "platform/PasteboardChangeListeners.h"

namespace tvi {

Pasteboard::ListenerToken PasteboardChangeListeners::add(Pasteboard::ChangeListener listener)
{
    std::lock_guard lock(mutex_);
    const Pasteboard::ListenerToken token = nextToken_++;
    listeners_.emplace(token, std::move(listener));
    return token;
}

void PasteboardChangeListeners::remove(Pasteboard::ListenerToken token)
{
    std::lock_guard lock(mutex_);
    listeners_.erase(token);
}

void PasteboardChangeListeners::notifyAll()
{
    // Held while calling, so that a removed listener is never called after remove() returns.
    std::lock_guard lock(mutex_);
    for (auto& [token, listener] : listeners_) listener();
}

}
