#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tvi::peer {

// Starts the real Telvora executable in a HOME of the caller's choice and
// stops it again, for whole-process tests and benchmarks.
class TelvoraProcess {
public:
    using Clock = std::chrono::steady_clock;

    TelvoraProcess(std::string executable, std::string home);
    ~TelvoraProcess();
    TelvoraProcess(const TelvoraProcess&) = delete;
    TelvoraProcess& operator=(const TelvoraProcess&) = delete;

    // Desktop-mode runs keep the caller's DISPLAY; by default it is removed, so that a run is headless.
    void keepDisplay() { keepDisplay_ = true; }
    // Starts the program with the arguments; its output goes to `outputFile` (or /dev/null).
    bool start(const std::vector<std::string>& arguments = {"--headless"}, const std::string& outputFile = "");
    pid_t pid() const { return pid_; }
    Clock::time_point startedAt() const { return startedAt_; }

    std::string portFilePath() const;
    // Waits until the port file names a port, or the time-out passes.
    std::optional<std::uint16_t> waitForPort(std::chrono::milliseconds timeout);
    // SIGTERM, then waits; the exit status, or nullopt when it did not end in time (it is then killed).
    std::optional<int> terminate(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool isRunning();
    // Waits for the program to end on its own; its exit status (128 + signal), or nullopt on time-out.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    // Resident memory and CPU time used so far, read from /proc.
    std::optional<long> residentKilobytes() const;
    std::optional<double> cpuSeconds() const;

    std::string logsFolder() const;
    // Every line of every log file, oldest file first, without the time stamp.
    std::vector<std::string> logLines() const;

private:
    std::string executable_;
    std::string home_;
    pid_t pid_ = -1;
    bool keepDisplay_ = false;
    Clock::time_point startedAt_;
};

}
