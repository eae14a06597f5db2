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
};

}
