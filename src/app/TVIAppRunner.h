#pragma once

#include "platform/BackendReport.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// The program around the controller: command line, the start-up report of the chosen
// backends, the main run loop, and an orderly shutdown on SIGTERM or SIGINT. The program's
// main() chooses the mode and installs the backends and the main run loop in between.
class TVIAppRunner {
public:
    struct Options {
        bool help = false;
        bool version = false;
        bool headless = false;
        std::string command; // a status-menu command for the running Telvora (--about, --quit, ...)
        std::string unknown; // the first argument that is neither ours nor the toolkit's
    };
    // How many values a GUI toolkit option takes along (-1: not one of the toolkit's).
    using ToolkitOptions = int (*)(std::string_view argument);

    TVIAppRunner() = delete;

    static Options parse(int argc, char** argv, ToolkitOptions toolkitOptions = nullptr);
    // Answers --help, --version and unknown options: the exit status, or nothing to go on.
    static std::optional<int> answerWithoutRunning(const Options& options);
    // Blocks SIGTERM and SIGINT in the calling thread and the threads it starts later (the
    // toolkit's included), so that only the watcher run() starts receives them.
    static void blockTerminationSignals();
    // Logs the mode and every service's backend, runs the controller on the installed main
    // run loop until a termination signal, and returns the exit status.
    static int run(const std::string& mode, const std::vector<BackendReport>& backends);
    // Asks for the orderly shutdown, as SIGTERM does; from any thread (logout, a lost display).
    static void requestShutdown();

    // The start-up line: the mode and every service's backend.
    static std::string backendsLine(const std::string& mode, const std::vector<BackendReport>& backends);
    static std::string usage();
    static std::string versionText();
};

}
