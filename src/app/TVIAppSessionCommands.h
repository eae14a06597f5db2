#pragma once

namespace tvi {

// What the running Telvora answers to the commands of the session (SessionCommands):
// takes the session name and wires the commands this program serves.
class TVIAppSessionCommands {
public:
    TVIAppSessionCommands() = delete;

    // Main thread, once the controller has started: takes the name and logs the result, and
    // makes "Quit" run the orderly shutdown. Another holder of the name is only reported:
    // the one-instance rule lies elsewhere.
    static void install();
};

}
