#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

// A desktop tool run with its arguments (found on PATH), its standard output collected.
class ChildCommand {
public:
    struct Result {
        bool started = false;           // false when the program could not be run at all
        std::optional<int> exitStatus;  // nullopt: still running when the time ran out (left to finish alone)
        std::string output;             // standard output, up to the end or the time-out
    };

    ChildCommand() = delete;

    // Without `captureOutput` the output goes nowhere: a program whose children keep running
    // (a mail client it started) then does not hold the call up after it ended itself.
    static Result run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                      bool captureOutput = true);
};

}
