#pragma once

#include <optional>
#include <string>

namespace tvi {

// Who the running program is.
class TVIApplication {
public:
    TVIApplication() = delete;

    // The main bundle's "CFBundleExecutable" (the executable's file name); absent when
    // the information dictionary has none.
    static std::optional<std::string> applicationName();
    // The name every folder, log file and report of Telvora's is made with: applicationName(),
    // else "Telvora"; never the process name, which is that of whatever link started it
    // (/usr/bin/telvora).
    static std::string nameForFiles();
};

}
