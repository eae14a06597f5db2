#include "capture/TVIPasteBoardObserver.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/Platform.h"

#include <atomic>
#include <condition_variable>
#include <exception>

namespace tvi {

struct TVIPasteBoardObserver::State {
    State(std::shared_ptr<Pasteboard> board, std::chrono::milliseconds pollInterval)
        : pasteboard(std::move(board)), center(NotificationCenter::defaultCenter()), interval(pollInterval),
          signalsChanges(pasteboard->canSignalChanges()), countChanged(pasteboard->changeCount()),
          wasAvailable(pasteboard->isAvailable())
    {
    }

    // Registered by the loop's thread before its first pass, so no change goes unseen.
    Pasteboard::ListenerToken listenForChanges()
    {
        if (!signalsChanges) return 0;
        return pasteboard->addChangeListener([this] {
            std::lock_guard lock(mutex);
            changeSignalled = true;
            wake.notify_all();
        });
    }

    // Ends the loop when polling was switched off; the loop's end is recorded under the same
    // lock so that switching it on again knows a new thread is needed.
    bool continueLooping()
    {
        std::lock_guard lock(mutex);
        if (!started) looping = false;
        passing = started;
        return started;
    }

    // A pasteboard that signals its changes is only looked at when it did: an idle observer
    // then never wakes. Others are polled once per interval.
    void sleepUntilNextPass()
    {
        std::unique_lock lock(mutex);
        passing = false;
        wake.notify_all();
        if (signalsChanges) wake.wait(lock, [this] { return !started || changeSignalled; });
        else wake.wait_for(lock, interval, [this] { return !started; });
        changeSignalled = false;
    }

    void waitForPassToEnd()
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return !passing || started; });
    }

    const std::shared_ptr<Pasteboard> pasteboard;
    NotificationCenter& center;
    const std::chrono::milliseconds interval;
    const bool signalsChanges;
    std::atomic<std::int64_t> countChanged;
    bool wasAvailable; // polling thread only, after construction

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool started = true;
    bool looping = true;  // false once the loop has ended
    bool passing = false; // a pass (its observers included) is under way
    bool changeSignalled = false;
};

TVIPasteBoardObserver::TVIPasteBoardObserver(std::chrono::milliseconds pollInterval)
    : state_(std::make_shared<State>(Platform::get<Pasteboard>(), pollInterval))
{
    if (!state_->wasAvailable) DDLogWarn("%@: Pasteboard is not available, copied text cannot be seen");
    thread_ = std::thread(checkPasteboard, state_);
}

TVIPasteBoardObserver::~TVIPasteBoardObserver()
{
    std::thread thread;
    {
        std::lock_guard threadLock(threadMutex_);
        std::lock_guard lock(state_->mutex);
        state_->started = false;
        state_->wake.notify_all();
        thread = std::move(thread_);
    }
    if (!thread.joinable()) return;
    // Joining itself would deadlock; the thread holds the state and ends after this pass.
    if (thread.get_id() == std::this_thread::get_id()) thread.detach();
    else thread.join();
}

std::optional<std::string> TVIPasteBoardObserver::getStringFromPasteboard() const
{
    return state_->pasteboard->plainText();
}

std::optional<std::string> TVIPasteBoardObserver::stringFromNotification(const Notification& notification)
{
    if (!notification.object) return std::nullopt;
    return *static_cast<const std::string*>(notification.object);
}

const std::shared_ptr<Pasteboard>& TVIPasteBoardObserver::thePasteboard() const { return state_->pasteboard; }

std::int64_t TVIPasteBoardObserver::countChangedInPasteboard() const { return state_->countChanged.load(); }

bool TVIPasteBoardObserver::isStarted() const
{
    std::lock_guard lock(state_->mutex);
    return state_->started;
}

void TVIPasteBoardObserver::setIsStarted(bool started)
{
    if (started) start();
    else stop();
}

void TVIPasteBoardObserver::start()
{
    std::lock_guard threadLock(threadMutex_);
    {
        std::lock_guard lock(state_->mutex);
        state_->started = true;
        if (state_->looping) return;
        state_->looping = true;
    }
    // The old loop has ended (only its listener's removal may still be under way), so the join is immediate.
    if (thread_.joinable()) thread_.join();
    thread_ = std::thread(checkPasteboard, state_);
}

void TVIPasteBoardObserver::stop()
{
    bool onPollingThread = false;
    {
        std::lock_guard threadLock(threadMutex_);
        std::lock_guard lock(state_->mutex);
        state_->started = false;
        state_->wake.notify_all();
        onPollingThread = thread_.get_id() == std::this_thread::get_id();
    }
    // So that nothing is announced once stopped; an observer stopping it cannot wait for itself.
    if (!onPollingThread) state_->waitForPassToEnd();
}

NotificationCenter& TVIPasteBoardObserver::notificationCenter() const { return state_->center; }

void TVIPasteBoardObserver::checkPasteboard(const std::shared_ptr<State>& state)
{
    const Pasteboard::ListenerToken token = state->listenForChanges();
    while (state->continueLooping()) {
        pollOnce(*state);
        state->sleepUntilNextPass();
    }
    if (token != 0) state->pasteboard->removeChangeListener(token);
}

void TVIPasteBoardObserver::pollOnce(State& state)
{
    const bool available = state.pasteboard->isAvailable();
    if (available != state.wasAvailable) {
        state.wasAvailable = available;
        if (available) DDLogInfo("%@: Pasteboard is available again");
        else DDLogWarn("%@: Pasteboard is not available, copied text cannot be seen");
    }
    if (state.pasteboard->changeCount() == state.countChanged.load()) return;

    const std::optional<std::string> text = state.pasteboard->plainText();
    try {
        state.center.post(kPasteboardUpdatedNotification, text ? &*text : nullptr);
    } catch (const std::exception& error) {
        // A failing observer must not end the watching for good.
        DDLogError("%@: pasteboardUpdated observer failed: %@", error.what());
    } catch (...) {
        DDLogError("%@: pasteboardUpdated observer failed");
    }
    // Whatever was written while the observers ran counts as seen.
    state.countChanged.store(state.pasteboard->changeCount());
}

}
