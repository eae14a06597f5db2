#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

// The session's general pasteboard (the clipboard). Every backend offers a change counter;
// backends that learn of changes as they happen also signal them, so that a reader can wait
// instead of polling.
//
// Threading: the queries may be called from any thread. Change listeners run on the thread
// that made the change (in-memory backend) or on the backend's own event thread (desktop
// backends), never on a thread that holds a lock of the caller's; they must return quickly
// and must not add or remove listeners.
class Pasteboard {
public:
    static constexpr const char* serviceName = "Pasteboard";
    using ChangeListener = std::function<void()>;
    using ListenerToken = std::uint64_t;

    virtual ~Pasteboard() = default;

    // Whether this session has a pasteboard that can be watched at all.
    virtual bool isAvailable() const = 0;
    // Moves on every write by any application, equal content included; only a difference
    // from an earlier reading means anything, never its size or direction.
    virtual std::int64_t changeCount() const = 0;
    // The content as plain text (UTF-8); absent when the content is not text or there is none.
    virtual std::optional<std::string> plainText() const = 0;

    // Whether addChangeListener's listeners are called on every change; false means a reader
    // has to poll changeCount().
    virtual bool canSignalChanges() const { return false; }
    // Calls `listener` after every move of changeCount() and every change of isAvailable()
    // until it is removed. Several changes may give one call; a call may also come without a
    // change. Returns 0 (and never calls) when the backend cannot signal changes.
    virtual ListenerToken addChangeListener(ChangeListener listener)
    {
        (void)listener;
        return 0;
    }
    // Once it returns, the listener is not running and is never called again.
    virtual void removeChangeListener(ListenerToken token) { (void)token; }
};

}
