#include "companions/TVICallPoster.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace tvi {
namespace {

constexpr const char* kObjectPath = "/com/orvella/Telvora/Notifications";
constexpr const char* kInterface = "com.orvella.Telvora.DistributedNotifications";
constexpr const char* kMember = "Post";

std::string reason(const char* what, int result)
{
    return std::string(what) + ": " + std::strerror(-result);
}

}

std::unique_ptr<TVICallPoster> TVICallPoster::connect(std::string& why)
{
    sd_bus* bus = nullptr;
    const int result = sd_bus_open_user(&bus);
    if (result < 0) {
        why = reason("cannot reach the session bus", result);
        return nullptr;
    }
    return std::unique_ptr<TVICallPoster>(new TVICallPoster(bus));
}

TVICallPoster::~TVICallPoster()
{
    sd_bus_flush_close_unref(bus_);
}

bool TVICallPoster::post(const std::string& text, std::string& why)
{
    const int result = sd_bus_emit_signal(bus_, kObjectPath, kInterface, kMember, "ss", kNotificationName, text.c_str());
    if (result < 0) why = reason("cannot post on the session bus", result);
    return result >= 0;
}

bool TVICallPoster::flush(std::string& why)
{
    const int result = sd_bus_flush(bus_);
    if (result < 0) why = reason("cannot post on the session bus", result);
    return result >= 0;
}

}
