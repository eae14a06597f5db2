#pragma once

#include <functional>
#include <string>

namespace tvi {

// Commands other programs of the session send to the running Telvora through its session-bus name
// "com.orvella.Telvora". Threads: main thread; handlers run on the main queue.
class SessionCommands {
public:
    static constexpr const char* serviceName = "SessionCommands";
    using Handler = std::function<void()>;
    virtual ~SessionCommands() = default;
    // Takes the name for this instance; false (with nothing taken) when another process holds it.
    virtual bool claim() = 0;
    // The handler of one command: "Quit", "About", "Preferences", "CheckForUpdates".
    virtual void setHandler(const std::string& command, Handler handler) = 0;
    // Asks the instance that holds the name to run a command; false when none holds it or the call failed.
    virtual bool send(const std::string& command) = 0;
};

}
