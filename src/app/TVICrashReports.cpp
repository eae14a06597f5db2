// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVICrashReports.h"

#include "app/TVIProblemReport.h"
#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVICrashLogFinder.h"
#include "diagnostics/TVICrashManager.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/MainRunLoop.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"

namespace tvi {

void TVICrashReports::checkForCrashes()
{
    if (checkForCrashLogDataAtLaunch()) notifyUserAboutCrash();
}

bool TVICrashReports::checkForCrashLogDataAtLaunch()
{
    if (!UserDefaults::standard().boolForKey(TVICheckForCrashesAtStartup)) {
        DDLogInfo("%@: => TVICheckForCrashesAtStartup is set to NO. Will Skip Check For Crashes");
        return false;
    }
    DDLogInfo("%@: => TVICheckForCrashesAtStartup is set to YES. Will Check For Crashes...");
    const PlistValue stored = UserDefaults::standard().objectForKey(TVICrashLogLastSubmitedDate);
    std::optional<PlistDate> since;
    if (const PlistDate* date = stored.get<PlistDate>()) since = *date;
    crashManager_ = std::make_shared<TVICrashManager>();
    if (!TVICrashLogFinder::findCrashLogsSince(since).empty()) {
        DDLogInfo("%@: => TVICheckForCrashesAtStartup found crash/es since last submitted date");
        return true;
    }
    DDLogInfo("%@: => TVICheckForCrashesAtStartup didnt find any crash");
    return false;
}

void TVICrashReports::notifyUserAboutCrash()
{
    const Bundle bundle = Bundle::mainBundle();
    Alert alert;
    alert.alertStyle = AlertStyle::Warning;
    alert.messageText = TELVORA_NAME;
    alert.informativeText = TVILocalizationUtilities::replaceAppNameInString(
        bundle.localizedString("<AppName> detected a crash. Do you want to submit a problem report ?"));
    alert.buttons = {bundle.localizedString("Cancel"), bundle.localizedString("Ok")};
    alert.showsSuppressionButton = true;
    AlertResponse response;
    {
        // Waiting for the user is no hang.
        MainRunLoop::ModalSection modal;
        response = Platform::get<Alerts>()->runModal(alert);
    }
    if (response.button == 0) {
        DDLogInfo("%@: User opted to NOT send a report");
    } else {
        DDLogInfo("%@: User opted to send a report");
        problemReport_->showReportProblem();
    }
    if (response.suppressed) {
        DDLogInfo("%@: User opted to never show the  crash alert dialog!");
        UserDefaults::standard().setBool(false, TVICheckForCrashesAtStartup);
        UserDefaults::standard().synchronize();
    }
}

}
