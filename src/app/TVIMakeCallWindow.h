#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tvi {

class DispatchTimer;

// The make-call window: from a make-call press until the next pasteboard change or 1.5
// seconds. The press and the timer run on the main thread, the pasteboard handler on the
// observer's thread; whoever clears the flag closes the window.
class TVIMakeCallWindow : public std::enable_shared_from_this<TVIMakeCallWindow> {
public:
    TVIMakeCallWindow() = default;
    TVIMakeCallWindow(const TVIMakeCallWindow&) = delete;
    TVIMakeCallWindow& operator=(const TVIMakeCallWindow&) = delete;

    bool makeCallHasFired() const { return makeCallHasFired_; }
    void setMakeCallHasFired() { makeCallHasFired_ = true; }
    // Closes the window; true for the one caller that found it open.
    bool close() { return makeCallHasFired_.exchange(false); }

    // Starts the 1.5-second timer of a press.
    void startTimer();
    // The timer's end of the window.
    void onTick();
    // Takes the timer out (under the lock) so it can be stopped outside it.
    std::shared_ptr<DispatchTimer> takeTimer();
    bool hasTimer() const;

private:
    // Ends the window only if it is still the one this tick was started for.
    void onTickOfWindow(std::uint64_t window);

    mutable std::mutex timerMutex_;
    std::shared_ptr<DispatchTimer> timer_;
    std::uint64_t timerWindow_ = 0; // counts make-call windows; guarded by timerMutex_
    std::atomic<bool> makeCallHasFired_{false};
};

}
