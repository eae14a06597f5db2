#pragma once

// Learns, before anything is quit or removed, whether pkexec will be able to run the
// privileged step: polkit either allows it outright (root, a rule) or wants a password, and a
// password needs an authentication agent in this session. pkexec without one ends with 127
// only after the user clicked Continue.
#include <string>

namespace sarnex {

class PolkitAgentCheck {
public:
    PolkitAgentCheck() = delete;
    enum class Verdict {
        CanRun,     // allowed, or an agent will ask
        NoAgent,    // a password is wanted and nothing can ask for it
        NotAllowed, // polkit refuses this user outright
        NoPolkit,   // no system bus or no polkit on it
        Unknown     // polkit answered in a way not understood: let pkexec try
    };
    static Verdict check(const std::string& actionId);
};

}
