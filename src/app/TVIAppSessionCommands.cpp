#include "app/TVIAppSessionCommands.h"

#include "app/TVIAppRunner.h"
#include "diagnostics/DDLogMacros.h"
#include "platform/Platform.h"
#include "platform/SessionCommands.h"

namespace tvi {

void TVIAppSessionCommands::install()
{
    const auto commands = Platform::get<SessionCommands>();
    commands->setHandler("Quit", [] {
        DDLogInfo("%@: => Quit requested by another program of the session");
        TVIAppRunner::requestShutdown();
    });
    if (commands->claim())
        DDLogInfo("%@: => Took the session name com.orvella.Telvora");
    else
        DDLogWarn("%@: Another process holds the session name com.orvella.Telvora; session commands go to it");
}

}
