#pragma once

#include <string>
#include <vector>

namespace tvi {

// The "Call via Calvetto" action's run over its input elements, in order: an empty element
// writes "=> pasteboardUpdated stringFromAutomator is null" to the system log; a blank one
// (white space and line breaks alone) sends nothing; any other one is posted untrimmed.
class TVICallAction {
public:
    struct Outcome {
        int posted = 0;
        std::string problem; // why texts could not be posted (no session bus); empty when none
    };

    TVICallAction() = delete;

    static Outcome run(const std::vector<std::string>& elements);
    // The elements of a command line: the arguments with dial URLs reduced, or, without
    // arguments, the lines of standard input.
    static std::vector<std::string> elementsOf(int argc, char** argv, int first);
    // `Telvora call TEXT...`: the same run for scripts and terminals, which want to know when
    // nothing could be posted: 0, or 1 with the reason on standard error.
    static int callCommand(int argc, char** argv, int first);
};

}
