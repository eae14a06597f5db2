#pragma once

#include <string>
#include <vector>

namespace tvi {

// A system tool run by the update helper: an absolute program path, no shell, standard input
// from /dev/null, a fixed environment (the caller's is never passed on) and its standard
// output and error collected together.
class TVIRootCommand {
public:
    struct Result {
        bool started = false;
        int exitStatus = -1; // 128 + signal for a tool ended by a signal
        std::string output;
    };

    TVIRootCommand() = delete;

    static Result run(const std::vector<std::string>& arguments);
    // The environment every tool gets.
    static std::vector<std::string> environment();
    // The last `lines` non-empty lines of `output`, each indented, for a message.
    static std::string tail(const std::string& output, std::size_t lines);
};

}
