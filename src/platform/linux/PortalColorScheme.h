#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace tvi {

// The desktop's colour scheme ("org.freedesktop.appearance" "color-scheme") from the desktop
// portal's Settings interface, over a session-bus connection of its own served by a thread of
// its own. The first answer is asked for asynchronously with a time-out: a portal without a
// backend (a bare session) fails the call, and one that is not there at all may never answer.
// Changes come with the SettingChanged signal. Threads: any thread may ask; `onChange` runs on
// the connection's thread.
class PortalColorScheme {
public:
    enum class Scheme { NoPreference = 0, PreferDark = 1, PreferLight = 2 };
    using ChangeHandler = std::function<void(std::optional<Scheme> scheme)>;

    static constexpr std::chrono::milliseconds kAnswerTimeout{1000};

    // nullptr when there is no session bus.
    static std::unique_ptr<PortalColorScheme> connect(ChangeHandler onChange);
    ~PortalColorScheme();
    PortalColorScheme(const PortalColorScheme&) = delete;
    PortalColorScheme& operator=(const PortalColorScheme&) = delete;

    // The portal's answer, waiting for the first one up to the time-out; nullopt when the portal
    // gave none (no backend, no portal, time-out or a value it does not know).
    std::optional<Scheme> scheme();

    // Reads a color-scheme value from a message positioned at it: a variant holding a uint32,
    // possibly inside a second variant (Read wraps its answer once more).
    static std::optional<Scheme> readScheme(sd_bus_message* message);

private:
    PortalColorScheme(sd_bus* bus, ChangeHandler onChange);
    bool start();
    void run();
    void answered(std::optional<Scheme> scheme);
    void changed(std::optional<Scheme> scheme);
    friend struct PortalCallbacks; // sd-bus's handlers, which call answered() and changed()

    sd_bus* bus_;
    ChangeHandler onChange_;
    sd_bus_slot* readSlot_ = nullptr;
    sd_bus_slot* matchSlot_ = nullptr;
    int wakeFd_ = -1;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable answeredCondition_;
    bool answered_ = false;
    std::optional<Scheme> scheme_;
    std::chrono::steady_clock::time_point deadline_;
};

}
