#pragma once

#include "platform/SessionCommands.h"

#include <map>
#include <mutex>

namespace tvi {

// Session commands within this process: the name is always free, and send() runs the
// handler of this process. Tests drive it as another program of the session would.
class MemorySessionCommands : public SessionCommands {
public:
    bool claim() override;
    void setHandler(const std::string& command, Handler handler) override;
    bool send(const std::string& command) override;

    bool claimed() const;

private:
    mutable std::mutex mutex_;
    bool claimed_ = false;
    std::map<std::string, Handler> handlers_;
};

}
