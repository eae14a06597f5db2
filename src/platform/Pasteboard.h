#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

// The session's general pasteboard (the clipboard). It offers no change notification,
// only a counter, so readers poll.
// Threads: called from any thread (the observer polls on a thread of its own); the backend
// guards its own state and never waits on the main thread.
class Pasteboard {
public:
    static constexpr const char* serviceName = "Pasteboard";

    virtual ~Pasteboard() = default;

    // Whether this session has a pasteboard that can be watched at all.
    virtual bool isAvailable() const = 0;
    // Moves on every write by any application, equal content included; only a difference
    // from an earlier reading means anything, never its size or direction.
    virtual std::int64_t changeCount() const = 0;
    // The content as plain text (UTF-8); absent when the content is not text or there is none.
    virtual std::optional<std::string> plainText() const = 0;
};

}
