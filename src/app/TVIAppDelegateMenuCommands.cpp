// The controller's menu commands and the start-up steps that build the status item and the
// about window. The windows themselves come through the installed window presenter: without
// one (headless) the commands only write their log lines.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

#include "app/TVIAppRunner.h"
#include "app/TVIAppUpdates.h"
#include "app/TVICallControl.h"
#include "app/TVIProblemReport.h"
#include "app/TVIWindowPresenter.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/TVIVibrancyUtils.h"

namespace tvi {

void TVIAppDelegate::initAboutDialog()
{
    DDLogInfo("%@: => initAboutDialog");
    if (const auto presenter = TVIWindowPresenter::installed()) presenter->createAboutWindow(*this);
}

TVIAppDelegate::StatusItemImages TVIAppDelegate::statusItemImages(bool darkMode)
{
    // The white icon stands out on a dark panel; the other one is shown while the popover is open.
    if (darkMode) return {"status_item_white", "status_item_black"};
    return {"status_item_black", "status_item_white"};
}

void TVIAppDelegate::initAxStatusItem()
{
    const bool darkMode = TVIVibrancyUtils::isDarkMode();
    if (darkMode)
        DDLogInfo("%@: Init with AppleInterfaceStyle = Dark Mode");
    else
        DDLogInfo("%@: Init with AppleInterfaceStyle = Light Mode");
    const StatusItemImages images = statusItemImages(darkMode);
    if (const auto presenter = TVIWindowPresenter::installed())
        presenter->createStatusItem(*this, images.image, images.alternateImage);
}

void TVIAppDelegate::showAbout()
{
    DDLogInfo("%@: => showAbout");
    if (const auto presenter = TVIWindowPresenter::installed()) presenter->showAboutWindow();
}

void TVIAppDelegate::showPreferences()
{
    DDLogInfo("%@: => showPreferences");
    if (const auto presenter = TVIWindowPresenter::installed()) presenter->showPreferencesWindow(*this);
    // From the first showing on, shortcuts recorded in the window are registered.
    callControl_->startObservingUserDefaultsChanges();
}

void TVIAppDelegate::checkForUpdates() { updates_->checkForUpdates(); }

void TVIAppDelegate::showReportProblem() { problemReport_->showReportProblem(); }

void TVIAppDelegate::quitApplication()
{
    DDLogInfo("%@: => quitApplication");
    // The run loop ends and the runner then runs the shutdown sequence, as on SIGTERM.
    TVIAppRunner::requestShutdown();
}

}
