#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

// The pasteboard's own X connection with a private window: reads CLIPBOARD and PRIMARY as
// UTF-8 text (INCR transfers included), owns CLIPBOARD and serves its text, and reports
// every change of CLIPBOARD's owner made by another client (XFixes). Not thread-safe: all
// calls, and the callback, happen on the one thread that runs it.
class X11ClipboardConnection {
public:
    enum class Selection { Clipboard, Primary };
    using OwnerChanged = std::function<void()>;

    // Absent, with the reason, when there is no display or it lacks XFixes.
    static std::unique_ptr<X11ClipboardConnection> open(std::string& whyUnavailable);
    ~X11ClipboardConnection();
    X11ClipboardConnection(const X11ClipboardConnection&) = delete;
    X11ClipboardConnection& operator=(const X11ClipboardConnection&) = delete;

    // Called for every SetSelectionOwner on CLIPBOARD by another client, equal text included.
    void setOwnerChanged(OwnerChanged ownerChanged);
    // The descriptor to wait on for events.
    int fileDescriptor() const;
    // Handles every event already received; false once the connection is broken.
    bool dispatchPending();

    // The selection's text; our own text while this connection owns it.
    std::optional<std::string> readText(Selection selection);
    // Takes CLIPBOARD and serves `text` (nothing when absent) until another client takes it.
    bool ownClipboard(std::optional<std::string> text);
    bool ownsClipboard() const;

    // Larger texts are refused rather than held.
    static constexpr std::size_t kMaxTextBytes = 64u << 20;
    static constexpr std::chrono::milliseconds kReplyPatience{2000};

private:
    struct Impl;
    explicit X11ClipboardConnection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}
