#include "companions/TVICallAction.h"

#include <syslog.h>

#include <cstdio>

// The "Call via Calvetto" action: each argument (or each line of standard input) is one
// element. Like the action it stands for, it reports no error to whoever ran it: a text that
// could not be posted is written to the system log and the exit status is 0.
int main(int argc, char** argv)
{
    openlog("Call via Calvetto", LOG_PID, LOG_USER);
    const auto outcome = tvi::TVICallAction::run(tvi::TVICallAction::elementsOf(argc, argv, 1));
    if (!outcome.problem.empty()) syslog(LOG_WARNING, "=> %s", outcome.problem.c_str());
    closelog();
    return 0;
}
