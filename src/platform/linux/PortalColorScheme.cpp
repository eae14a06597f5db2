#include "platform/linux/PortalColorScheme.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

namespace tvi {
namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettings = "org.freedesktop.portal.Settings";
constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

}

struct PortalCallbacks {
    static int onReadReply(sd_bus_message* message, void* self, sd_bus_error*);
    static int onSettingChanged(sd_bus_message* message, void* self, sd_bus_error*);
};

std::unique_ptr<PortalColorScheme> PortalColorScheme::connect(ChangeHandler onChange)
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    std::unique_ptr<PortalColorScheme> portal(new PortalColorScheme(bus, std::move(onChange)));
    if (!portal->start()) return nullptr;
    return portal;
}

PortalColorScheme::PortalColorScheme(sd_bus* bus, ChangeHandler onChange) : bus_(bus), onChange_(std::move(onChange)) {}

PortalColorScheme::~PortalColorScheme()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    sd_bus_slot_unref(readSlot_);
    sd_bus_slot_unref(matchSlot_);
    sd_bus_flush_close_unref(bus_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool PortalColorScheme::start()
{
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return false;
    // Subscribed before asking, so that no change between the answer and the subscription is lost.
    if (sd_bus_match_signal_async(bus_, &matchSlot_, kPortal, kPortalPath, kSettings, "SettingChanged",
                                  &PortalCallbacks::onSettingChanged, nullptr, this) < 0)
        return false;
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus_, &call, kPortal, kPortalPath, kSettings, "Read") < 0) return false;
    int r = sd_bus_message_append(call, "ss", kNamespace, kKey);
    if (r >= 0) {
        deadline_ = std::chrono::steady_clock::now() + kAnswerTimeout;
        const auto timeout = std::chrono::duration_cast<std::chrono::microseconds>(kAnswerTimeout).count();
        r = sd_bus_call_async(bus_, &readSlot_, call, &PortalCallbacks::onReadReply, this,
                              static_cast<std::uint64_t>(timeout));
    }
    sd_bus_message_unref(call);
    if (r < 0) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PortalColorScheme::run()
{
    for (;;) {
        int r = sd_bus_process(bus_, nullptr);
        if (r > 0) continue;
        if (r < 0) break; // the bus went away: no more changes, the last answer stays
        std::uint64_t until = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus_, &until) >= 0 && until != UINT64_MAX) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const std::uint64_t nowUsec = std::uint64_t(now.tv_sec) * 1000000u + std::uint64_t(now.tv_nsec) / 1000u;
            timeout = until > nowUsec ? int((until - nowUsec + 999) / 1000) : 0;
        }
        pollfd fds[2] = {{sd_bus_get_fd(bus_), short(sd_bus_get_events(bus_)), 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
    }
    answered(std::nullopt); // nobody waits for an answer that cannot come any more
}

std::optional<PortalColorScheme::Scheme> PortalColorScheme::readScheme(sd_bus_message* message)
{
    char type = 0;
    const char* contents = nullptr;
    for (int depth = 0; depth < 2; ++depth) {
        if (sd_bus_message_peek_type(message, &type, &contents) <= 0 || type != SD_BUS_TYPE_VARIANT) return std::nullopt;
        if (sd_bus_message_enter_container(message, SD_BUS_TYPE_VARIANT, contents) < 0) return std::nullopt;
        if (std::strcmp(contents, "u") == 0) {
            std::uint32_t value = 0;
            if (sd_bus_message_read_basic(message, SD_BUS_TYPE_UINT32, &value) < 0 || value > 2) return std::nullopt;
            return static_cast<Scheme>(value);
        }
        if (std::strcmp(contents, "v") != 0) return std::nullopt;
    }
    return std::nullopt;
}

int PortalCallbacks::onReadReply(sd_bus_message* message, void* self, sd_bus_error*)
{
    auto* portal = static_cast<PortalColorScheme*>(self);
    // An error reply (no backend, no such setting, time-out) leaves the fallback in charge.
    portal->answered(sd_bus_message_is_method_error(message, nullptr) ? std::nullopt : PortalColorScheme::readScheme(message));
    return 0;
}

int PortalCallbacks::onSettingChanged(sd_bus_message* message, void* self, sd_bus_error*)
{
    const char* space = nullptr;
    const char* key = nullptr;
    if (sd_bus_message_read(message, "ss", &space, &key) < 0) return 0;
    if (std::strcmp(space, kNamespace) != 0 || std::strcmp(key, kKey) != 0) return 0;
    static_cast<PortalColorScheme*>(self)->changed(PortalColorScheme::readScheme(message));
    return 0;
}

void PortalColorScheme::answered(std::optional<Scheme> scheme)
{
    std::lock_guard lock(mutex_);
    if (answered_) return;
    answered_ = true;
    scheme_ = scheme;
    answeredCondition_.notify_all();
}

void PortalColorScheme::changed(std::optional<Scheme> scheme)
{
    {
        std::lock_guard lock(mutex_);
        answered_ = true;
        scheme_ = scheme;
        answeredCondition_.notify_all();
    }
    if (onChange_) onChange_(scheme);
}

std::optional<PortalColorScheme::Scheme> PortalColorScheme::scheme()
{
    std::unique_lock lock(mutex_);
    answeredCondition_.wait_until(lock, deadline_, [this] { return answered_; });
    return scheme_;
}

}
