#include "capture/TVIWindowUtils.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"

namespace tvi {

bool TVIWindowUtils::checkFrontMostApplication()
{
    const std::optional<std::string> identifier = Platform::get<Workspace>()->frontmostApplicationBundleIdentifier();
    DDLogInfo("%@: Frontmost Application is: %@", identifier);
    return identifier && (*identifier == kPhoneClientIdentifier || *identifier == kOwnIdentifier);
}

void TVIWindowUtils::bringToFrontCalvetto()
{
    const std::shared_ptr<Workspace> workspace = Platform::get<Workspace>();
    const std::vector<RunningApplication> running =
        workspace->runningApplicationsWithBundleIdentifier(kPhoneClientIdentifier);
    if (running.empty()) return;
    if (!workspace->activateApplication(running.back()))
        DDLogWarn("%@: Could not bring Calvetto to the front");
}

}
