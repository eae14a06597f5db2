#pragma once

#include "platform/KeyEvents.h"
#include "platform/linux/ClipboardTakeover.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;

namespace tvi {

// Synthetic keys by XTest, posted on a private thread that owns the X connection.
// Threads: any caller; posting returns at once and the keys follow in call order, each press
// only once the user's keys are up (while a grabbed hot key is held, X gives every key to its
// grabber, so a copy posted then would be lost), or after kReleaseTimeout.
// The design's copy chord (C with Command alone) becomes this platform's copy: Control+C, with
// CLIPBOARD taken over first so the copy is seen; in a terminal emulator it becomes a copy of
// the PRIMARY selection, since Control+C there interrupts the running program. Other chords
// map their modifiers as the hot keys do: Command → Super, Option → Alt.
class X11KeyEvents : public KeyEvents {
public:
    static constexpr std::chrono::milliseconds kReleaseTimeout{1000};

    // `clipboard` may be null: then nothing is taken over and a terminal gets no copy at all.
    static std::shared_ptr<X11KeyEvents> create(std::string& whyUnavailable,
                                                std::shared_ptr<ClipboardTakeover> clipboard);
    X11KeyEvents(_XDisplay* display, std::shared_ptr<ClipboardTakeover> clipboard);
    ~X11KeyEvents() override;

    bool isAvailable() const override;
    std::optional<ProcessId> frontProcess() const override;
    bool postKeyDown(std::uint16_t keyCode, std::uint64_t flags) override;
    bool postKeyUp(std::uint16_t keyCode) override;

private:
    // What a posted press left down, for its release to undo.
    struct PostedPress {
        unsigned int keyCode = 0;                  // 0: nothing was pressed
        std::vector<unsigned int> modifierKeyCodes; // in press order
    };

    void enqueue(std::function<void()> task) const;
    void serve();
    void followMappingChanges();
    bool waitForKeysUp();
    void press(std::uint16_t keyCode, std::uint64_t flags);
    void release(std::uint16_t keyCode);
    bool copyWithoutInterrupt();
    bool fake(unsigned int keyCode, bool down);

    _XDisplay* display_;
    std::shared_ptr<ClipboardTakeover> clipboard_;
    std::atomic<bool> lost_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    mutable std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;

    std::map<std::uint16_t, PostedPress> posted_; // connection thread only
    std::thread thread_;                          // last: starts once everything above exists
};

}
