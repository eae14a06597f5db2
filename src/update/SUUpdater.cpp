#include "update/SUUpdater.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/SUStandardVersionComparator.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "update/SUUpdateSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tvi {

namespace {

// The user-visible text for `key` from the main bundle's strings, with the application's name.
std::string localized(const std::string& key)
{
    return TVILocalizationUtilities::replaceAppNameInString(Bundle::mainBundle().localizedString(key));
}

std::string infoString(const Bundle& bundle, const char* key)
{
    const PlistValue value = bundle.objectForInfoDictionaryKey(key);
    const std::string* text = value.get<std::string>();
    return text ? *text : std::string();
}

}

SUUpdater::SUUpdater(UserDefaults& defaults) : defaults_(defaults) {}

SUUpdater::~SUUpdater()
{
    stopScheduledChecks();
    *cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

SUUpdater& SUUpdater::sharedUpdater()
{
    static SUUpdater updater(UserDefaults::standard());
    return updater;
}

void SUUpdater::store(const PlistValue& value, const char* key)
{
    defaults_.setObject(value, key);
    defaults_.synchronize();
}

std::optional<std::string> SUUpdater::feedURL() const
{
    PlistValue stored = defaults_.objectForKey(kFeedURLKey);
    if (const std::string* url = stored.get<std::string>(); url && !url->empty()) return *url;
    return std::nullopt;
}

void SUUpdater::setFeedURL(const std::optional<std::string>& url)
{
    store(url && !url->empty() ? PlistValue(*url) : PlistValue(), kFeedURLKey);
}

double SUUpdater::updateCheckInterval() const
{
    PlistValue interval = defaults_.objectForKey(kScheduledCheckIntervalKey);
    return interval.isAbsent() ? kDefaultUpdateCheckInterval : interval.doubleValue();
}

void SUUpdater::setUpdateCheckInterval(double seconds)
{
    // Far beyond any sensible interval, yet safely inside the integer range.
    constexpr double kLongestInterval = 1e15;
    if (!std::isfinite(seconds) || seconds < 0 || seconds > kLongestInterval) return;
    store(PlistValue(static_cast<std::int64_t>(std::llround(seconds))), kScheduledCheckIntervalKey);
}

bool SUUpdater::automaticallyChecksForUpdates() const { return defaults_.boolForKey(kEnableAutomaticChecksKey); }

void SUUpdater::setAutomaticallyChecksForUpdates(bool automaticallyChecks)
{
    store(PlistValue(automaticallyChecks), kEnableAutomaticChecksKey);
    if (scheduling_) scheduleNextCheck(false);
}

bool SUUpdater::automaticallyDownloadsUpdates() const { return defaults_.boolForKey(kAutomaticallyUpdateKey); }

void SUUpdater::setAutomaticallyDownloadsUpdates(bool automaticallyDownloads)
{
    store(PlistValue(automaticallyDownloads), kAutomaticallyUpdateKey);
}

std::optional<PlistDate> SUUpdater::lastUpdateCheckDate() const
{
    PlistValue stored = defaults_.objectForKey(kLastCheckTimeKey);
    if (const PlistDate* date = stored.get<PlistDate>()) return *date;
    return std::nullopt;
}

void SUUpdater::setLastUpdateCheckDate(PlistDate date) { store(PlistValue(date), kLastCheckTimeKey); }

void SUUpdater::setUserDriver(std::shared_ptr<SUUserDriver> driver)
{
    // A session shows its offer through the old driver: it ends with it (the window may be
    // going away with the toolkit).
    if (session_ && driver != userDriver_) {
        session_->cancel();
        session_.reset();
    }
    userDriver_ = std::move(driver);
}

std::shared_ptr<SUUserDriver> SUUpdater::userDriver() const { return userDriver_; }

void SUUpdater::setTerminationHandler(std::function<void()> terminate) { terminate_ = std::move(terminate); }

std::optional<std::string> SUUpdater::skippedVersion() const
{
    PlistValue stored = defaults_.objectForKey(kSkippedVersionKey);
    if (const std::string* version = stored.get<std::string>(); version && !version->empty()) return *version;
    return std::nullopt;
}

void SUUpdater::setInstallationHostProvider(std::function<SUInstallationHost()> provider)
{
    hostProvider_ = std::move(provider);
}

SUInstallationHost SUUpdater::host() const
{
    return hostProvider_ ? hostProvider_() : SUInstallationHost::current();
}

void SUUpdater::setDownloadOptions(const SUFeedFetcher::Options& options) { downloadOptions_ = options; }

void SUUpdater::installUpdateOnQuit()
{
    if (!pendingBundle_) return;
    const PendingBundle pending = *std::exchange(pendingBundle_, std::nullopt);
    const SUInstallationHost host = this->host();
    const std::string backup = host.backupPath();
    std::error_code error;
    std::filesystem::remove_all(backup, error);
    std::filesystem::rename(host.bundlePath, backup, error);
    if (error) {
        DDLogError("%@: The update to version %@ could not be installed at quit: %@", pending.version,
                   error.message());
        return;
    }
    std::filesystem::rename(pending.bundle, host.bundlePath, error);
    if (error) {
        DDLogError("%@: The update to version %@ could not be moved into place (%@); the old version stays",
                   pending.version, error.message());
        std::error_code ignored;
        std::filesystem::rename(backup, host.bundlePath, ignored);
        return;
    }
    std::filesystem::remove_all(std::filesystem::path(pending.bundle).parent_path(), error);
    store(PlistValue(backup), kPreviousBundleKey);
    DDLogInfo("%@: Version %@ is installed at %@; it starts next time (the old bundle is kept at %@ until then)",
              pending.version, host.bundlePath, backup);
}

void SUUpdater::removePreviousBundle()
{
    const std::string previous = defaults_.objectForKey(kPreviousBundleKey).stringValue().value_or("");
    if (previous.empty()) return;
    const SUInstallationHost host = this->host();
    // Only a folder named as an old bundle beside the running one: the stored path is not trusted blindly.
    const std::filesystem::path bundle(host.bundlePath);
    const std::filesystem::path old(previous);
    const bool named = old.parent_path() == bundle.parent_path() &&
                       old.filename().string().rfind("." + bundle.filename().string() + "-previous-", 0) == 0;
    if (named) {
        std::error_code error;
        std::filesystem::remove_all(previous, error);
        DDLogInfo("%@: Removed the previous version's bundle %@", previous);
    }
    store(PlistValue(), kPreviousBundleKey);
}

void SUUpdater::setFetchOptions(const SUFeedFetcher::Options& options)
{
    std::lock_guard lock(checkMutex_);
    fetchOptions_ = options;
}

bool SUUpdater::isCheckingForUpdates() const
{
    std::lock_guard lock(checkMutex_);
    return checking_;
}

void SUUpdater::checkForUpdates(CheckCompletion completion)
{
    DDLogInfo("%@: => checkForUpdates");
    startCheck(true, std::move(completion));
}

void SUUpdater::checkForUpdatesInBackground(CheckCompletion completion)
{
    DDLogInfo("%@: => checkForUpdatesInBackground");
    startCheck(false, std::move(completion));
}

void SUUpdater::startScheduledChecks()
{
    scheduling_ = true;
    scheduleNextCheck(false);
}

void SUUpdater::stopScheduledChecks()
{
    scheduling_ = false;
    nextCheck_.reset();
    if (auto timer = std::exchange(scheduleTimer_, nullptr)) timer->invalidate();
}

std::optional<std::chrono::system_clock::time_point> SUUpdater::nextScheduledCheck() const
{
    return nextCheck_;
}

void SUUpdater::scheduleNextCheck(bool afterACheck)
{
    if (auto timer = std::exchange(scheduleTimer_, nullptr)) timer->invalidate();
    nextCheck_.reset();
    if (!scheduling_ || !automaticallyChecksForUpdates()) return;
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto interval = duration_cast<system_clock::duration>(duration<double>(updateCheckInterval()));
    const auto last = lastUpdateCheckDate();
    auto due = afterACheck || !last ? now + interval : *last + interval;
    // Not straight after start-up, unless the interval asked for is shorter still.
    const auto earliest = std::clamp(interval, duration_cast<system_clock::duration>(seconds(1)),
                                     duration_cast<system_clock::duration>(minutes(1)));
    due = std::max(due, now + earliest);
    nextCheck_ = due;
    std::weak_ptr<int> alive = alive_;
    scheduleTimer_ = DispatchTimer::scheduled(DispatchQueue::main(), due - now, false, [this, alive] {
        if (alive.expired()) return;
        checkForUpdatesInBackground([this, alive](const SUUpdateCheckResult&) {
            if (!alive.expired()) scheduleNextCheck(true);
        });
    });
}

SUUpdater::HostVersion SUUpdater::hostVersion()
{
    const Bundle bundle = Bundle::mainBundle();
    HostVersion host;
    host.version = infoString(bundle, "CFBundleVersion");
    host.displayVersion = infoString(bundle, "CFBundleShortVersionString");
    if (host.displayVersion.empty()) host.displayVersion = host.version;
    return host;
}

void SUUpdater::startCheck(bool userInitiated, CheckCompletion completion)
{
    std::lock_guard lock(checkMutex_);
    if (completion) completions_.push_back(std::move(completion));
    userInitiated_ = userInitiated_ || userInitiated;
    if (checking_) {
        DDLogInfo("%@: An update check is already running; this request joins it");
        return;
    }
    checking_ = true;
    if (worker_.joinable()) worker_.join(); // the previous check's thread, already done with its report

    const std::optional<std::string> feed = feedURL();
    const HostVersion host = hostVersion();
    DDLogInfo("%@: Checking for updates with feed %@, running version %@",
              feed ? std::optional<std::string>(fetchableURL(*feed)) : feed, host.displayVersion);
    worker_ = std::thread([this, feed, host, options = fetchOptions_, cancelled = cancelled_,
                           alive = std::weak_ptr<int>(alive_)] {
        SUUpdateCheckResult result = performCheck(feed, host, options, *cancelled);
        if (*cancelled) return;
        DispatchQueue::main()->async([this, alive, result = std::move(result)] {
            if (alive.lock()) finishCheck(result);
        });
    });
}

std::string SUUpdater::fetchableURL(const std::string& feed)
{
    // The feed is often a bare host and path ("10.0.0.5/management/..."): a server that
    // publishes updates is reached over https unless its address says otherwise.
    return SUFeedFetcher::schemeOf(feed).empty() ? "https://" + feed : feed;
}

SUUpdateCheckResult SUUpdater::performCheck(const std::optional<std::string>& feed, const HostVersion& host,
                                            const SUFeedFetcher::Options& options, const std::atomic<bool>& cancelled)
{
    SUUpdateCheckResult result;
    result.hostVersion = host.displayVersion;
    if (!feed) {
        result.errorDescription = "No update feed is set.";
        return result;
    }
    if (host.displayVersion.empty()) {
        result.errorDescription = "The application's own version is unknown.";
        return result;
    }
    SUFeedFetcher::Result fetched = SUFeedFetcher::fetch(fetchableURL(*feed), options, &cancelled);
    if (!fetched.succeeded) {
        result.errorDescription = fetched.errorDescription;
        return result;
    }
    std::string whyNot;
    std::vector<std::string> ignored;
    const auto items = SUAppcast::parseAppcast(fetched.body, &whyNot, &ignored);
    for (const std::string& why : ignored) DDLogWarn("%@: %@", why);
    if (!items) {
        result.errorDescription = whyNot;
        return result;
    }
    const auto newest = SUAppcast::newestItem(*items);
    if (!newest) {
        result.errorDescription = "The update feed announces no version.";
        return result;
    }
    SUUpdateCheckResult compared = compareWithHost(*newest, host);
    if (compared.outcome == SUUpdateCheckResult::Outcome::UpdateAvailable) fetchReleaseNotes(*compared.newestItem, options, cancelled);
    return compared;
}

void SUUpdater::fetchReleaseNotes(SUAppcastItem& item, SUFeedFetcher::Options options, const std::atomic<bool>& cancelled)
{
    if (!item.releaseNotesHTML.empty() || item.releaseNotesURL.empty()) return;
    // Notes come from the network only: a feed must not make the window show a local file.
    const std::string scheme = SUFeedFetcher::schemeOf(item.releaseNotesURL);
    if (scheme != "http" && scheme != "https") {
        DDLogWarn("%@: Release notes at %@ are not fetched: only http and https are", item.releaseNotesURL);
        return;
    }
    options.maximumSize = 1024 * 1024;
    SUFeedFetcher::Result notes = SUFeedFetcher::fetch(item.releaseNotesURL, options, &cancelled);
    if (notes.succeeded) item.releaseNotesHTML = std::move(notes.body);
    else DDLogWarn("%@: Release notes could not be fetched from %@: %@", item.releaseNotesURL, notes.errorDescription);
}

SUUpdateCheckResult SUUpdater::compareWithHost(const SUAppcastItem& newest, const HostVersion& host)
{
    // Machine versions are compared when both sides have one, else what people see.
    const bool machine = !newest.versionString.empty() && !host.version.empty();
    const auto order = SUStandardVersionComparator::defaultComparator().compareVersion(
        machine ? newest.versionString : newest.displayVersion(), machine ? host.version : host.displayVersion);
    SUUpdateCheckResult result;
    result.hostVersion = host.displayVersion;
    result.newestItem = newest;
    result.outcome = order == ComparisonResult::OrderedDescending ? SUUpdateCheckResult::Outcome::UpdateAvailable
                                                                   : SUUpdateCheckResult::Outcome::NoUpdateAvailable;
    return result;
}

void SUUpdater::finishCheck(const SUUpdateCheckResult& result)
{
    std::vector<CheckCompletion> completions;
    bool userInitiated;
    {
        std::lock_guard lock(checkMutex_);
        completions.swap(completions_);
        userInitiated = userInitiated_;
        userInitiated_ = false;
        checking_ = false;
    }
    if (result.outcome != SUUpdateCheckResult::Outcome::Failed) {
        setLastUpdateCheckDate(std::chrono::system_clock::now());
        NotificationCenter::defaultCenter().post("lastUpdateCheckDateUpdated");
    }
    presentResult(result, userInitiated);
    for (const auto& completion : completions) completion(result);
}

void SUUpdater::announceInAlert(const SUUpdateCheckResult& result) const
{
    Alert alert;
    alert.buttons = {localized("OK")};
    alert.alertStyle = AlertStyle::Informational;
    alert.messageText = localized("A new version of <AppName> is available!");
    alert.informativeText = format(localized("<AppName> %@ is now available; you have %@."),
                                   result.newestItem->displayVersion(), result.hostVersion);
    Platform::get<Alerts>()->runModal(alert);
}

void SUUpdater::handleAvailableUpdate(const SUUpdateCheckResult& result, bool userInitiated)
{
    const SUAppcastItem& item = *result.newestItem;
    DDLogInfo("%@: Update check: version %@ is available, running %@", item.displayVersion(), result.hostVersion);
    const std::string& version = SUInstallationHost::versionOf(item);
    if (!userInitiated && skippedVersion() == version) {
        DDLogInfo("%@: Version %@ was skipped by the user; the scheduled check does not offer it",
                  item.displayVersion());
        return;
    }
    if (session_) {
        DDLogInfo("%@: An update is already being offered or installed");
        return;
    }
    if (!userInitiated && pendingBundle_ && pendingBundle_->version == version) {
        DDLogInfo("%@: Version %@ is ready and will be installed when Telvora quits", item.displayVersion());
        return;
    }
    const bool silently = !userInitiated && automaticallyDownloadsUpdates();
    if (!silently && !userDriver_) return announceInAlert(result);
    startSession(item, userInitiated, silently);
}

void SUUpdater::startSession(const SUAppcastItem& item, bool userInitiated, bool silently)
{
    SUUpdateSession::Hooks hooks;
    std::weak_ptr<int> alive = alive_;
    hooks.terminate = [this, alive] {
        if (!alive.expired() && terminate_) terminate_();
    };
    hooks.skip = [this, alive](const std::string& version) {
        if (!alive.expired()) store(PlistValue(version), kSkippedVersionKey);
    };
    hooks.installOnQuit = [this, alive](const std::string& bundle, const std::string& version) {
        if (!alive.expired()) pendingBundle_ = PendingBundle{bundle, version};
    };
    hooks.mayOfferPackage = [this, alive](const std::string& version) {
        if (alive.expired() || defaults_.objectForKey(kOfferedPackageVersionKey).stringValue() == version) return false;
        store(PlistValue(version), kOfferedPackageVersionKey);
        return true;
    };
    // The session may end inside one of its own calls: it is let go once that call has returned.
    hooks.finished = [this, alive] {
        DispatchQueue::main()->async([this, alive] {
            if (!alive.expired()) session_.reset();
        });
    };
    session_ = SUUpdateSession::make(item, host(), userDriver_, downloadOptions_, std::move(hooks));
    if (silently) session_->downloadSilently();
    else session_->offer(userInitiated);
}

void SUUpdater::presentResult(const SUUpdateCheckResult& result, bool userInitiated)
{
    Alert alert;
    alert.buttons = {localized("OK")};
    switch (result.outcome) {
    case SUUpdateCheckResult::Outcome::UpdateAvailable:
        return handleAvailableUpdate(result, userInitiated);
    case SUUpdateCheckResult::Outcome::NoUpdateAvailable:
        DDLogInfo("%@: Update check: running %@, the feed offers nothing newer than %@", result.hostVersion,
                  result.newestItem->displayVersion());
        if (!userInitiated) return;
        alert.alertStyle = AlertStyle::Informational;
        alert.messageText = localized("You're up to date!");
        alert.informativeText =
            format(localized("<AppName> %@ is currently the newest version available."), result.hostVersion);
        break;
    case SUUpdateCheckResult::Outcome::Failed:
        DDLogError("%@: Update check failed: %@", result.errorDescription);
        if (!userInitiated) return;
        alert.alertStyle = AlertStyle::Warning;
        alert.messageText = localized("Update check failed.");
        alert.informativeText =
            format(localized("The update information could not be retrieved: %@"), result.errorDescription);
        break;
    }
    Platform::get<Alerts>()->runModal(alert);
}

}
