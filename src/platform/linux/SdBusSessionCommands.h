#pragma once

#include "platform/SessionCommands.h"

#include <map>
#include <memory>
#include <mutex>

#include <systemd/sd-bus.h>

namespace tvi {

class SdBusConnection;

// The session commands as methods of the well-known name com.orvella.Telvora: object
// /com/orvella/Telvora, interface com.orvella.Telvora, methods Quit, About, Preferences and
// CheckForUpdates, no arguments and no result. A method answers at once (an error when this
// instance has no handler for it) and its handler runs on the main queue.
class SdBusSessionCommands : public SessionCommands {
public:
    static constexpr const char* kBusName = "com.orvella.Telvora";
    static constexpr const char* kObjectPath = "/com/orvella/Telvora";
    static constexpr const char* kInterface = "com.orvella.Telvora";

    // nullptr (with the reason in `why`) without a session bus.
    static std::shared_ptr<SdBusSessionCommands> create(std::string& why);
    ~SdBusSessionCommands() override;

    bool claim() override;
    void setHandler(const std::string& command, Handler handler) override;
    bool send(const std::string& command) override;

private:
    explicit SdBusSessionCommands(std::shared_ptr<SdBusConnection> connection);
    static int onMethod(sd_bus_message* message, void* self, sd_bus_error* error);
    // The handler of a command, or an empty one.
    Handler handlerFor(const std::string& command);

    std::shared_ptr<SdBusConnection> connection_;
    sd_bus_slot* object_ = nullptr;
    std::mutex mutex_;
    bool claimed_ = false;
    std::map<std::string, Handler> handlers_;
};

}
