#include "platform/linux/SdBusSessionCommands.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"
#include "platform/linux/SdBusConnection.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstring>
#include <future>

namespace tvi {
namespace {

// Long enough for a busy instance to answer, short enough not to hang the caller's main thread.
constexpr std::uint64_t kSendTimeoutMicroseconds = 5'000'000;

std::string errorText(int negativeErrno) { return std::strerror(-negativeErrno); }

}

std::shared_ptr<SdBusSessionCommands> SdBusSessionCommands::create(std::string& why)
{
    auto connection = SdBusConnection::session(why);
    if (!connection) return nullptr;
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Quit", "", "", &SdBusSessionCommands::onMethod, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("About", "", "", &SdBusSessionCommands::onMethod, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Preferences", "", "", &SdBusSessionCommands::onMethod, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("CheckForUpdates", "", "", &SdBusSessionCommands::onMethod, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    std::shared_ptr<SdBusSessionCommands> commands(new SdBusSessionCommands(connection));
    int result = -ENOTCONN;
    connection->call([&](sd_bus* bus) {
        result = sd_bus_add_object_vtable(bus, &commands->object_, kObjectPath, kInterface, vtable, commands.get());
    });
    if (result < 0) {
        why = "cannot serve " + std::string(kObjectPath) + " on the session bus: " + errorText(result);
        return nullptr;
    }
    return commands;
}

SdBusSessionCommands::SdBusSessionCommands(std::shared_ptr<SdBusConnection> connection)
    : connection_(std::move(connection))
{
}

SdBusSessionCommands::~SdBusSessionCommands()
{
    if (object_) connection_->call([slot = object_](sd_bus*) { sd_bus_slot_unref(slot); });
}

bool SdBusSessionCommands::claim()
{
    int result = -ENOTCONN;
    connection_->call([&](sd_bus* bus) { result = sd_bus_request_name(bus, kBusName, 0); });
    if (result >= 0 || result == -EALREADY) {
        std::lock_guard lock(mutex_);
        claimed_ = true;
        return true;
    }
    if (result != -EEXIST)
        DDLogWarn("%@: Could not take the session-bus name %@: %@", std::string(kBusName), errorText(result));
    return false;
}

void SdBusSessionCommands::setHandler(const std::string& command, Handler handler)
{
    std::lock_guard lock(mutex_);
    handlers_[command] = std::move(handler);
}

SessionCommands::Handler SdBusSessionCommands::handlerFor(const std::string& command)
{
    std::lock_guard lock(mutex_);
    auto found = handlers_.find(command);
    return found == handlers_.end() ? Handler{} : found->second;
}

bool SdBusSessionCommands::send(const std::string& command)
{
    {
        std::lock_guard lock(mutex_);
        // A call to our own name would wait on the thread that has to answer it.
        if (claimed_) {
            auto found = handlers_.find(command);
            if (found == handlers_.end() || !found->second) return false;
            DispatchQueue::main()->async(found->second);
            return true;
        }
    }
    // The answer arrives on the bus thread; the caller waits for it here, not there.
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> answered = answer->get_future();
    connection_->post([command, answer](sd_bus* bus) {
        sd_bus_message* call = nullptr;
        int r = sd_bus_message_new_method_call(bus, &call, kBusName, kObjectPath, kInterface, command.c_str());
        if (r >= 0) {
            auto* pending = new std::shared_ptr<std::promise<bool>>(answer);
            r = sd_bus_call_async(
                bus, nullptr, call,
                [](sd_bus_message* reply, void* userdata, sd_bus_error*) {
                    std::unique_ptr<std::shared_ptr<std::promise<bool>>> promise(
                        static_cast<std::shared_ptr<std::promise<bool>>*>(userdata));
                    const sd_bus_error* error = sd_bus_message_get_error(reply);
                    if (error) DDLogWarn("%@: The session command failed: %@", std::string(error->message ? error->message : error->name));
                    (*promise)->set_value(error == nullptr);
                    return 0;
                },
                pending, kSendTimeoutMicroseconds);
            if (r < 0) delete pending;
        }
        sd_bus_message_unref(call);
        if (r < 0) answer->set_value(false);
    });
    // A lost bus drops the task and so breaks the promise; one more second covers the bus's own time-out.
    if (answered.wait_for(std::chrono::microseconds(kSendTimeoutMicroseconds) + std::chrono::seconds(1)) !=
        std::future_status::ready)
        return false;
    try {
        return answered.get();
    } catch (const std::future_error&) {
        return false;
    }
}

int SdBusSessionCommands::onMethod(sd_bus_message* message, void* self, sd_bus_error* error)
{
    const std::string command = sd_bus_message_get_member(message);
    Handler handler = static_cast<SdBusSessionCommands*>(self)->handlerFor(command);
    if (!handler) return sd_bus_error_setf(error, SD_BUS_ERROR_NOT_SUPPORTED, "%s is not available", command.c_str());
    const int r = sd_bus_reply_method_return(message, "");
    DispatchQueue::main()->async(std::move(handler));
    return r;
}

}
