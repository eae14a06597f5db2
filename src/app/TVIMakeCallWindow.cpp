// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIMakeCallWindow.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchTimer.h"

#include <chrono>
#include <utility>

namespace tvi {
namespace {

constexpr auto kMakeCallWindow = std::chrono::milliseconds(1500);

}

void TVIMakeCallWindow::startTimer()
{
    std::weak_ptr<TVIMakeCallWindow> weak = weak_from_this();
    std::shared_ptr<DispatchTimer> earlier;
    {
        std::lock_guard lock(timerMutex_);
        const std::uint64_t window = ++timerWindow_;
        earlier = std::exchange(timer_, DispatchTimer::scheduled(DispatchQueue::main(), kMakeCallWindow, false, [weak, window] {
            if (auto self = weak.lock()) self->onTickOfWindow(window);
        }));
    }
    // Each press opens its own window: an earlier press's timer must not cut it short.
    if (earlier) earlier->invalidate();
}

void TVIMakeCallWindow::onTickOfWindow(std::uint64_t window)
{
    {
        std::lock_guard lock(timerMutex_);
        if (window != timerWindow_ || !timer_) return;
    }
    onTick();
}

std::shared_ptr<DispatchTimer> TVIMakeCallWindow::takeTimer()
{
    std::lock_guard lock(timerMutex_);
    return std::exchange(timer_, nullptr);
}

bool TVIMakeCallWindow::hasTimer() const
{
    std::lock_guard lock(timerMutex_);
    return timer_ != nullptr;
}

void TVIMakeCallWindow::onTick()
{
    bool closed = false;
    std::shared_ptr<DispatchTimer> timer;
    {
        // Under the timer lock, so the pasteboard handler sees either an open window
        // with a live timer or a closed window without one.
        std::lock_guard lock(timerMutex_);
        closed = close();
        timer = std::exchange(timer_, nullptr);
    }
    // Only the one who closes the window says so: a copy that won the race already closed it.
    if (closed) DDLogInfo("%@: makeCallHasFired was set to NO from timer");
    if (timer) timer->invalidate();
}

}
