#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tvi::test {

// A helper program a test starts (found on PATH), its output collected in a file, and
// ended again by its pid only: SIGTERM, then SIGKILL when it does not end in time.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `environment` entries ("NAME=value") are added to, or replace, the test's own.
    bool start(const std::vector<std::string>& arguments, const std::string& outputFile,
               const std::vector<std::string>& environment = {}, const std::string& inputFile = "/dev/null");
    pid_t pid() const { return pid_; }
    bool isRunning();
    // The exit status (128 + signal for a signal), or -1 when it was not running.
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    std::string output() const;
    // Waits until the output contains the text; false on time-out or when the program ended without it.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outputFile_;
};

}
