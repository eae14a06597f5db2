#pragma once

// The running Telvoras of this session: their executables, and a request to quit each.
#include <string>
#include <vector>

namespace sarnex {

class RunningTelvoras {
public:
    virtual ~RunningTelvoras() = default;
    virtual std::vector<std::string> executablePaths() = 0;
    // Asks the application at index (of the last executablePaths) to quit; does not wait.
    virtual void terminate(std::size_t index) = 0;
};

}
