#pragma once

// The running Telvoras of this session: their executables, a request to quit each, and a
// restart when the uninstall failed after they were asked to quit.
#include <string>
#include <vector>

namespace sarnex {

class RunningTelvoras {
public:
    virtual ~RunningTelvoras() = default;
    virtual std::vector<std::string> executablePaths() = 0;
    // Asks the application at index (of the last executablePaths) to quit; does not wait.
    virtual void terminate(std::size_t index) = 0;
    // Starts Telvora again once the ones asked to quit have gone: the uninstall did not happen.
    virtual void relaunch() = 0;
};

}
