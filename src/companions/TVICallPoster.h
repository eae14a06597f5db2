#pragma once

#include <memory>
#include <string>

struct sd_bus;

namespace tvi {

// Posts the companion text notification on the session bus, as Telvora's distributed
// notifications carry it (signal Post, arguments name and text). Needs libsystemd only, so
// that the action's small program stays free of the rest of Telvora.
class TVICallPoster {
public:
    static constexpr const char* kNotificationName = "com.orvella.Telvora-Automator.textFromAutomator";

    // nullptr, with the reason in `why`, when the session bus cannot be reached.
    static std::unique_ptr<TVICallPoster> connect(std::string& why);
    ~TVICallPoster();
    TVICallPoster(const TVICallPoster&) = delete;
    TVICallPoster& operator=(const TVICallPoster&) = delete;

    // Queues one notification with `text` as its object; false with the reason in `why`.
    bool post(const std::string& text, std::string& why);
    // Waits until every queued notification has left; false with the reason in `why`.
    bool flush(std::string& why);

private:
    explicit TVICallPoster(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
};

}
