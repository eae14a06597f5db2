#pragma once

#include "platform/Pasteboard.h"
#include "platform/PasteboardChangeListeners.h"
#include "platform/linux/ClipboardTakeover.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tvi {

class X11ClipboardConnection;

// The X CLIPBOARD selection as the pasteboard. Every SetSelectionOwner by another client
// counts as a change (XFixes tells), equal text included; Telvora's own takeover before a
// synthetic copy does not, the PRIMARY text it puts there itself does.
//
// Threading: one thread of its own owns the X connection (Xlib connections are not shared
// between threads); every public call may come from any thread and hops to it, waiting for
// the answer. Change listeners run on that thread.
class X11Pasteboard : public Pasteboard, public ClipboardTakeover {
public:
    // Absent, with the reason, when there is no display or it lacks XFixes.
    static std::shared_ptr<X11Pasteboard> create(std::string& whyUnavailable);
    ~X11Pasteboard() override;
    X11Pasteboard(const X11Pasteboard&) = delete;
    X11Pasteboard& operator=(const X11Pasteboard&) = delete;

    bool isAvailable() const override;
    std::int64_t changeCount() const override;
    std::optional<std::string> plainText() const override;
    bool canSignalChanges() const override;
    ListenerToken addChangeListener(ChangeListener listener) override;
    void removeChangeListener(ListenerToken token) override;

    // Takes CLIPBOARD, serving its current text meanwhile, so that an application's next
    // copy has to take it back and is seen. Not a change.
    bool takeClipboardOwnership() override;
    // Puts the PRIMARY selection's text on CLIPBOARD as a change (a terminal's copy); false
    // when PRIMARY holds no text.
    bool copyPrimaryToClipboard() override;

private:
    X11Pasteboard(std::unique_ptr<X11ClipboardConnection> connection, int wakeDescriptor);
    void run();
    void runQueuedTasks();
    // Runs `task` on the connection's thread and waits for it; false when it has ended.
    bool onConnectionThread(const std::function<void()>& task) const;
    void changed();

    std::unique_ptr<X11ClipboardConnection> connection_; // the connection thread's only
    const int wakeDescriptor_;
    mutable std::mutex tasksMutex_;
    mutable std::deque<std::function<void()>> tasks_;
    bool ending_ = false;       // under tasksMutex_
    std::atomic<bool> running_{true};
    std::atomic<std::int64_t> changeCount_{0};
    PasteboardChangeListeners listeners_;
    std::thread thread_;
};

}
