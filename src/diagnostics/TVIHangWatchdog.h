#pragma once

#include <chrono>

namespace tvi {

class UserDefaults;

// Notices a main thread that has finished no task for the threshold while work waits, and
// writes one hang report per hang into the hang folder, with the main thread's backtrace
// (taken by the main thread itself, in the handler of a real-time signal sent to it).
// A modal alert waiting for the user is no hang.
class TVIHangWatchdog {
public:
    static constexpr std::chrono::seconds kDefaultThreshold{10};
    // Hidden key, in seconds, so that tests need not wait ten seconds.
    static constexpr const char* kThresholdKey = "TVIHangThresholdSeconds";

    TVIHangWatchdog() = delete;

    // The threshold from the defaults; the default for an absent or non-positive value.
    static std::chrono::milliseconds thresholdFromDefaults(const UserDefaults& defaults);
    // Starts watching the calling thread as the main thread. Needs TVICrashReporter::install()
    // first (for the report's folder and texts); does nothing without it.
    static void start(std::chrono::milliseconds threshold);
    // Stops and joins the watchdog (before the main thread shuts down).
    static void stop();
};

}
