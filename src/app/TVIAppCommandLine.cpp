#define TVI_LOG_CLASS_NAME "TVIAppCommandLine"
#include "app/TVIAppCommandLine.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLogMacros.h"
#include "platform/Platform.h"
#include "platform/SessionCommands.h"

#include <cstdio>
#include <utility>

namespace tvi {
namespace {

struct OptionCommand {
    const char* option;
    const char* command;
};

constexpr OptionCommand kOptionCommands[] = {
    {"--about", "About"},
    {"--preferences", "Preferences"},
    {"--check-for-updates", "CheckForUpdates"},
    {"--quit", "Quit"},
};

std::string& requested()
{
    static std::string command;
    return command;
}

void runCommand(const std::weak_ptr<TVIAppDelegate>& weak, const std::string& command)
{
    const auto controller = weak.lock();
    if (!controller) return;
    if (command == "About") controller->showAbout();
    else if (command == "Preferences") controller->showPreferences();
    else if (command == "CheckForUpdates") controller->checkForUpdates();
}

}

std::string TVIAppCommandLine::commandForOption(std::string_view option)
{
    for (const OptionCommand& entry : kOptionCommands)
        if (option == entry.option) return entry.command;
    return {};
}

void TVIAppCommandLine::setRequestedCommand(std::string command) { requested() = std::move(command); }

const std::string& TVIAppCommandLine::requestedCommand() { return requested(); }

std::optional<int> TVIAppCommandLine::forwardToRunningInstance()
{
    const auto commands = Platform::get<SessionCommands>();
    const std::string& command = requested();
    if (command == "Quit") {
        if (commands->send("Quit")) return 0;
        // Asking to quit never starts one.
        std::fputs("Telvora: no running Telvora to quit\n", stderr);
        return 1;
    }
    if (!commands->send(command.empty() ? "Preferences" : command)) return std::nullopt;
    std::fprintf(stderr, "Telvora: already running; asked it to show its %s\n",
                 command.empty() || command == "Preferences" ? "preferences"
                 : command == "About"                        ? "about window"
                                                             : "update check");
    return 0;
}

int TVIAppCommandLine::answerSecondStart()
{
    Platform::get<SessionCommands>()->send("Preferences");
    return 0;
}

void TVIAppCommandLine::serve(const std::shared_ptr<TVIAppDelegate>& controller)
{
    const std::weak_ptr<TVIAppDelegate> weak = controller;
    const auto commands = Platform::get<SessionCommands>();
    for (const char* command : {"About", "Preferences", "CheckForUpdates"}) {
        commands->setHandler(command, [weak, name = std::string(command)] {
            DDLogInfo("%@: => %@ requested by another program of the session", name);
            runCommand(weak, name);
        });
    }
    if (!requested().empty() && requested() != "Quit") runCommand(weak, requested());
}

}
