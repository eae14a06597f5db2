#pragma once

#include "foundation/Notification.h"
#include "foundation/NotificationCenter.h"
#include "platform/Pasteboard.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tvi {

// Watches the general pasteboard from a thread of its own and announces every change
// (equal text copied again included) as "pasteboardUpdated" on the default centre. A
// pasteboard that signals its changes wakes the thread at once and only then; others are
// polled once per interval. The notification is posted on the polling thread, so its
// observers run there. Its object is
// a `const std::string*` to the new text, valid only while the observers run, or null when
// the new content is not text; stringFromNotification reads it. Content present at
// construction, and writes made while the observers run, are never announced. The text is
// never interpreted, nor written to the log.
class TVIPasteBoardObserver {
public:
    static constexpr const char* kPasteboardUpdatedNotification = "pasteboardUpdated";
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    // Starts watching at once; the interval (used only where the pasteboard cannot signal
    // its changes) is there for tests.
    explicit TVIPasteBoardObserver(std::chrono::milliseconds pollInterval = kPollInterval);
    // Stops polling and waits for a pass in progress (its observers included) to finish;
    // from inside an observer it returns at once and the thread ends by itself.
    ~TVIPasteBoardObserver();
    TVIPasteBoardObserver(const TVIPasteBoardObserver&) = delete;
    TVIPasteBoardObserver& operator=(const TVIPasteBoardObserver&) = delete;

    // The pasteboard's content as text; absent when it holds no text.
    std::optional<std::string> getStringFromPasteboard() const;
    // The text a "pasteboardUpdated" notification carries; absent when the content was not
    // text. Only valid while that notification is being delivered.
    static std::optional<std::string> stringFromNotification(const Notification& notification);

    const std::shared_ptr<Pasteboard>& thePasteboard() const;
    // The change count as last seen by the polling thread.
    std::int64_t countChangedInPasteboard() const;
    bool isStarted() const;
    // False ends polling: once it returns nothing more is announced (called from an
    // observer, the pass under way still ends). True resumes it, announcing a change made
    // meanwhile.
    void setIsStarted(bool started);
    NotificationCenter& notificationCenter() const;

private:
    struct State;
    void start();
    void stop();
    static void checkPasteboard(const std::shared_ptr<State>& state);
    static void pollOnce(State& state);

    // Shared with the polling thread, which outlives the observer when destroyed from it.
    const std::shared_ptr<State> state_;
    std::mutex threadMutex_;
    std::thread thread_;
};

}
