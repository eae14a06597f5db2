#include "update/SURelauncher.h"

#include <cstdio>
#include <string>
#include <vector>

// telvora-relauncher --pid PID --lock-file FILE --bundle BUNDLE [--new-bundle NEW --backup BACKUP]
//     [--log-file FILE] [--quit-timeout-ms N] [--start-timeout-ms N] [--settle-time-ms N] [--argument ARG]...
// Started by a quitting Telvora; exits 0 when the (new) Telvora has come up, 1 when the old one
// was started again instead, 2 when it could do neither, 64 for a command line it does not know.
int main(int argc, char** argv)
{
    using tvi::SURelauncher;
    const auto options = SURelauncher::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options) {
        std::fputs("usage: telvora-relauncher --pid PID --lock-file FILE --bundle BUNDLE\n"
                   "         [--new-bundle NEW --backup BACKUP] [--log-file FILE] [--quit-timeout-ms N]\n"
                   "         [--start-timeout-ms N] [--settle-time-ms N] [--argument ARG]...\n",
                   stderr);
        return 64;
    }
    switch (SURelauncher::run(*options)) {
    case SURelauncher::Outcome::Started: return 0;
    case SURelauncher::Outcome::RolledBack: return 1;
    case SURelauncher::Outcome::Failed: break;
    }
    return 2;
}
