#pragma once

#include "platform/Pasteboard.h"

#include <map>
#include <mutex>

namespace tvi {

// The listener list of a pasteboard backend that signals changes. Removal waits for a
// call in progress, which is why listeners must not add or remove listeners themselves.
class PasteboardChangeListeners {
public:
    Pasteboard::ListenerToken add(Pasteboard::ChangeListener listener);
    void remove(Pasteboard::ListenerToken token);
    // Calls every listener; the caller must hold none of the backend's own locks.
    void notifyAll();

private:
    std::mutex mutex_;
    std::map<Pasteboard::ListenerToken, Pasteboard::ChangeListener> listeners_;
    Pasteboard::ListenerToken nextToken_ = 1;
};

}
