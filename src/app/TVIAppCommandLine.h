#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

class TVIAppDelegate;

// The status menu's commands from the command line and from other programs of the session:
// `Telvora --about`, `--preferences`, `--check-for-updates` ask the running Telvora (this one
// becomes it when none runs), `--quit` asks it to quit; a plain second start shows its
// preferences. The requests travel as SessionCommands.
class TVIAppCommandLine {
public:
    TVIAppCommandLine() = delete;

    // The session command an option asks for ("About", "Preferences", "CheckForUpdates",
    // "Quit"); empty when the option is none of these.
    static std::string commandForOption(std::string_view option);
    // Remembers what this command line asks for (empty: a plain start).
    static void setRequestedCommand(std::string command);
    static const std::string& requestedCommand();

    // Before this process starts anything: hands the request to the Telvora that runs already.
    // The exit status when that settles it; nothing when this process is to run.
    static std::optional<int> forwardToRunningInstance();
    // A start that found another Telvora by other means: it shows that one's preferences.
    static int answerSecondStart();
    // Main thread, after the launch: About, Preferences and CheckForUpdates from the session
    // run the controller's menu commands, and a command asked for on this command line runs now.
    static void serve(const std::shared_ptr<TVIAppDelegate>& controller);
};

}
