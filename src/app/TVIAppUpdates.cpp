// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppUpdates.h"

#include "app/TVIAppPreferences.h"
#include "app/TVIAppRunner.h"
#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "update/SUFeedFetcher.h"
#include "update/SUUpdater.h"

#include <ctime>

namespace tvi {
namespace {

constexpr const char* kFeedPath = "management/downloads/Appcast.xml";

// A date as the platform describes one: "2026-12-07 10:11:24 +0000".
std::optional<std::string> describeDate(const std::optional<PlistDate>& date)
{
    if (!date) return std::nullopt;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(*date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return std::string(text);
}

// Joined as path components: one slash between, runs of slashes reduced to one. A leading
// "scheme://" is no run of slashes and stays as it is, so that "https://srv" keeps its scheme.
std::string joinFeedPath(const std::string& address)
{
    const std::string scheme = SUFeedFetcher::schemeOf(address);
    const std::size_t kept = scheme.empty() ? 0 : scheme.size() + std::string_view("://").size();
    std::string joined = address.substr(0, kept);
    for (char c : address.substr(kept) + "/" + kFeedPath) {
        if (c == '/' && joined.size() > kept && joined.back() == '/') continue;
        joined += c;
    }
    return joined;
}

}

void TVIAppUpdates::initSparkleUpdater(bool firstRun)
{
    updater_ = &SUUpdater::sharedUpdater();
    if (firstRun) {
        updater_->setUpdateCheckInterval(86400);
        updater_->setAutomaticallyDownloadsUpdates(false);
        updater_->setAutomaticallyChecksForUpdates(true);
    } else {
        const UserDefaults& stored = preferences_.defaults();
        updater_->setUpdateCheckInterval(static_cast<double>(stored.integerForKey("SUScheduledCheckInterval")));
        updater_->setAutomaticallyDownloadsUpdates(stored.boolForKey("SUAutomaticallyUpdate"));
        updater_->setAutomaticallyChecksForUpdates(stored.boolForKey("SUEnableAutomaticChecks"));
    }
    preferences_.defaults().synchronize();
    DDLogInfo("%@: SUUpdater feed: %@", updater_->feedURL());
    DDLogInfo("%@: SUUpdater update check interval: %f", updater_->updateCheckInterval());
    DDLogInfo("%@: SUUpdater automatically check for updates: %hhd", updater_->automaticallyChecksForUpdates());
    DDLogInfo("%@: SUUpdater lastUpdate check Data: %@", describeDate(updater_->lastUpdateCheckDate()));
    DDLogInfo("%@: SUUpdater automatically download updates: %hhd", updater_->automaticallyDownloadsUpdates());
    // An installed update relaunches Telvora through the orderly shutdown; an update installed at
    // the last quit has now started, so the bundle it replaced can go.
    updater_->setTerminationHandler(&TVIAppRunner::requestShutdown);
    updater_->removePreviousBundle();
    // The update framework runs its own schedule once its settings are in.
    updater_->startScheduledChecks();
}

std::string TVIAppUpdates::constructFeedUrl()
{
    DDLogInfo("%@: => constructFeedUrl");
    const auto address = preferences_.lastSavedIpString();
    if (address && !address->empty()) {
        const std::string path = joinFeedPath(*address);
        DDLogInfo("%@: => constructFeedUrl -> returned path:%@", path);
        return path;
    }
    DDLogWarn("%@: => constructFeedUrl -> returned empty string!");
    return {};
}

void TVIAppUpdates::setFeedForUpdate()
{
    const std::string url = constructFeedUrl();
    // The empty text is no usable URL: it prints as an absent one.
    const std::optional<std::string> feed = url.empty() ? std::nullopt : std::optional<std::string>(url);
    DDLogInfo("%@: => setFeedForUpdate -> Current Url to set : %@", feed);
    SUUpdater::sharedUpdater().setFeedURL(feed);
}

void TVIAppUpdates::checkForUpdates()
{
    DDLogInfo("%@: => checkForUpdates");
    const auto address = preferences_.lastSavedIpString();
    // Only an address Calvetto sent as empty stops the check; one never sent does not.
    if (address && address->empty()) {
        const Bundle bundle = Bundle::mainBundle();
        Alert alert;
        alert.alertStyle = AlertStyle::Warning;
        alert.messageText = bundle.localizedString("Could not check for update.");
        alert.informativeText = bundle.localizedString("Please check IP address of server in Calvetto and try again.");
        alert.buttons = {bundle.localizedString("Ok")};
        Platform::get<Alerts>()->runModal(alert);
        return;
    }
    DDLogInfo("%@: => Will check for update with url:%@", SUUpdater::sharedUpdater().feedURL());
    SUUpdater::sharedUpdater().checkForUpdates();
    NotificationCenter::defaultCenter().post("lastUpdateCheckDateUpdated");
}

void TVIAppUpdates::installUpdateOnQuit()
{
    // Not before: its files would replace the running ones.
    if (updater_) updater_->installUpdateOnQuit();
}

}
