#include "companions/TVICallAction.h"

#include "companions/TVICallPoster.h"
#include "companions/TVICallText.h"

#include <syslog.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>

namespace tvi {

TVICallAction::Outcome TVICallAction::run(const std::vector<std::string>& elements)
{
    Outcome outcome;
    std::unique_ptr<TVICallPoster> poster;
    for (const std::string& element : elements) {
        if (element.empty()) {
            syslog(LOG_NOTICE, "=> pasteboardUpdated stringFromAutomator is null");
            continue;
        }
        if (TVICallText::isBlank(element)) continue;
        // Connected on the first text to send, so that blank input needs no bus.
        if (!poster && outcome.problem.empty()) poster = TVICallPoster::connect(outcome.problem);
        if (!poster) continue;
        if (poster->post(element, outcome.problem)) ++outcome.posted;
    }
    if (poster && !poster->flush(outcome.problem)) outcome.posted = 0;
    return outcome;
}

std::vector<std::string> TVICallAction::elementsOf(int argc, char** argv, int first)
{
    if (argc > first) return TVICallText::elementsFromArguments(std::vector<std::string>(argv + first, argv + argc));
    const std::string lines((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return TVICallText::elementsFromLines(lines);
}

int TVICallAction::callCommand(int argc, char** argv, int first)
{
    openlog("Telvora call", LOG_PID, LOG_USER);
    const Outcome outcome = run(elementsOf(argc, argv, first));
    closelog();
    if (outcome.problem.empty()) return 0;
    std::fprintf(stderr, "Telvora call: %s\n", outcome.problem.c_str());
    return 1;
}

}
