#include "diagnostics/TVIHangWatchdog.h"

#include "diagnostics/TVICrashReporter.h"
#include "foundation/MainRunLoop.h"
#include "foundation/UserDefaults.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tvi {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> reportFd{-1};
std::atomic<bool> backtraceWritten{false};

struct Watch {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::atomic<bool> idle{false}; // the watcher sleeps until the next post
    std::thread thread;
};

Watch& watch()
{
    static auto* theWatch = new Watch();
    return *theWatch;
}

int backtraceSignal()
{
    // Above the ones glibc and the sanitizers keep for themselves.
    return SIGRTMIN + 4;
}

// Runs on the main thread, inside whatever it is stuck in.
void onBacktraceSignal(int)
{
    const int fd = reportFd.load();
    if (fd >= 0) TVICrashReporter::writeBacktrace(fd, "Backtrace of the main thread:\n");
    backtraceWritten.store(true);
}

void writeHangReport(pthread_t mainThread, std::chrono::milliseconds stalled, const MainRunLoop::Progress& progress)
{
    const int fd = TVICrashReporter::openReport(TVICrashReporter::hangFolder().c_str(), "hang");
    if (fd < 0) return;
    TVICrashReporter::writePreamble(fd, "Hang report");
    const std::string details = "Main thread:     no task finished for " + std::to_string(stalled.count()) +
                                " ms while " + std::to_string(progress.posted - progress.finished) +
                                " waited\n";
    TVICrashReporter::writeText(fd, details.c_str());
    backtraceWritten.store(false);
    reportFd.store(fd);
    bool answered = false;
    if (pthread_kill(mainThread, backtraceSignal()) == 0) {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (!(answered = backtraceWritten.load()) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reportFd.store(-1);
    if (!answered) TVICrashReporter::writeText(fd, "\nThe main thread did not answer for its backtrace.\n");
    TVICrashReporter::writeModules(fd);
    ::close(fd);
}

// On the posting thread: ends the watcher's idle sleep.
void notePost()
{
    Watch& w = watch();
    if (!w.idle.load()) return;
    std::lock_guard lock(w.mutex);
    w.wake.notify_all();
}

// With nothing waiting on the main queue there is nothing to watch: sleep until a post (or
// stop) instead of waking every interval. Called with the lock held.
void sleepWhileIdle(std::unique_lock<std::mutex>& lock)
{
    Watch& w = watch();
    w.idle.store(true);
    w.wake.wait(lock, [&w] {
        const auto progress = MainRunLoop::progress();
        return w.stopping || progress.posted > progress.finished;
    });
    w.idle.store(false);
}

void watchLoop(pthread_t mainThread, std::chrono::milliseconds threshold)
{
    const auto interval = std::clamp(threshold / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(1000));
    auto last = MainRunLoop::progress();
    auto stallStart = Clock::now();
    bool reported = false;
    std::unique_lock lock(watch().mutex);
    while (!watch().wake.wait_for(lock, interval, [] { return watch().stopping; })) {
        TVICrashReporter::refreshClock();
        const auto progress = MainRunLoop::progress();
        const bool waiting = progress.posted > progress.finished && !progress.modal;
        if (progress.finished != last.finished || !waiting) {
            // Progress, or nothing to do: a new hang may start from here.
            if (progress.posted == progress.finished && !progress.modal) sleepWhileIdle(lock);
            last = MainRunLoop::progress();
            stallStart = Clock::now();
            reported = false;
            continue;
        }
        const auto stalled = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stallStart);
        if (reported || stalled < threshold) continue;
        reported = true; // once per hang
        lock.unlock();
        writeHangReport(mainThread, stalled, progress);
        lock.lock();
    }
}

}

std::chrono::milliseconds TVIHangWatchdog::thresholdFromDefaults(const UserDefaults& defaults)
{
    const double seconds = defaults.doubleForKey(kThresholdKey);
    if (!(seconds > 0)) return kDefaultThreshold;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

void TVIHangWatchdog::start(std::chrono::milliseconds threshold)
{
    if (!TVICrashReporter::isInstalled()) return;
    Watch& w = watch();
    std::lock_guard lock(w.mutex);
    if (w.thread.joinable()) return;
    struct sigaction action {};
    action.sa_handler = &onBacktraceSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(backtraceSignal(), &action, nullptr);
    w.stopping = false;
    MainRunLoop::setPostObserver(&notePost);
    w.thread = std::thread(watchLoop, pthread_self(), threshold);
}

void TVIHangWatchdog::stop()
{
    Watch& w = watch();
    {
        std::lock_guard lock(w.mutex);
        if (!w.thread.joinable()) return;
        w.stopping = true;
    }
    w.wake.notify_all();
    w.thread.join();
    MainRunLoop::setPostObserver(nullptr);
}

}
