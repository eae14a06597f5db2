#pragma once

// Telvora owns the session-bus name com.orvella.Telvora while it runs (one per session) and
// quits when its Quit method is called. The executable comes from the owner's process number.
// A restart starts the installed Telvora, never the executable a bus peer pointed at.
#include "RunningTelvoras.h"

#include <QString>

namespace sarnex {

class DBusRunningTelvoras : public RunningTelvoras {
public:
    std::vector<std::string> executablePaths() override;
    void terminate(std::size_t index) override;
    void relaunch() override;

    static constexpr const char* kTelvoraExecutable = "/usr/lib/telvora/Telvora.app/Contents/MacOS/Telvora";

private:
    std::vector<QString> owners_; // unique bus names, by index
};

}
