#pragma once

#include <string>
#include <vector>

namespace tvi {

// The program around the controller: command line, platform choice, the main
// run loop, and an orderly shutdown on SIGTERM or SIGINT.
class TVIAppRunner {
public:
    // Returns the process exit status.
    static int run(int argc, char** argv);

    static std::string usage();
    static std::string versionText();
};

}
