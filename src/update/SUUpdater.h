#pragma once

#include "foundation/DispatchTimer.h"
#include "foundation/PlistValue.h"
#include "update/SUAppcast.h"
#include "update/SUFeedFetcher.h"
#include "update/SUInstallationHost.h"
#include "update/SUUserDriver.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tvi {

class UserDefaults;

// How an update check ended.
struct SUUpdateCheckResult {
    enum class Outcome { UpdateAvailable, NoUpdateAvailable, Failed };
    Outcome outcome = Outcome::Failed;
    // The newest release of the feed (set unless the check failed).
    std::optional<SUAppcastItem> newestItem;
    // The running application's version as shown to people.
    std::string hostVersion;
    std::string errorDescription; // when failed
};

// Telvora's software updater. Its settings live in the application's user defaults so that
// they survive restarts: the appcast address ("SUFeedURL", text), the seconds between
// automatic checks ("SUScheduledCheckInterval", integer), automatic checks and automatic
// downloads on or off ("SUEnableAutomaticChecks", "SUAutomaticallyUpdate", booleans) and
// the date of the last completed check ("SULastCheckTime", date). Every setter writes and
// synchronises the store at once. The updater keeps nothing else, so any instance over the
// same store sees the same settings.
//
// A check fetches the feed on a thread of its own (over https when the feed names no scheme) and reports on the main queue: it records
// the date when the feed could be read (and posts "lastUpdateCheckDateUpdated"), logs the
// result and shows it in an alert (Alerts service). A user-initiated check shows every
// result, failures included; a background (scheduled) check shows only an available update
// and logs the rest. One check runs at a time: a request during a check joins it.
//
// The updater is used and destroyed on the main thread.
class SUUpdater {
public:
    // Called on the main queue once the check has ended and its alert was dismissed.
    using CheckCompletion = std::function<void(const SUUpdateCheckResult&)>;

    static constexpr const char* kFeedURLKey = "SUFeedURL";
    static constexpr const char* kScheduledCheckIntervalKey = "SUScheduledCheckInterval";
    static constexpr const char* kEnableAutomaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr const char* kAutomaticallyUpdateKey = "SUAutomaticallyUpdate";
    static constexpr const char* kLastCheckTimeKey = "SULastCheckTime";
    // The interval used while none has been set: one day.
    static constexpr double kDefaultUpdateCheckInterval = 86400;

    // An updater over `defaults`; the application uses sharedUpdater().
    explicit SUUpdater(UserDefaults& defaults);
    // Cancels a running check and waits for its thread.
    ~SUUpdater();
    SUUpdater(const SUUpdater&) = delete;
    SUUpdater& operator=(const SUUpdater&) = delete;

    // The application's one updater, over the standard user defaults.
    static SUUpdater& sharedUpdater();

    // The appcast address; absent when none was set.
    std::optional<std::string> feedURL() const;
    // An absent or empty address is no usable feed and removes the stored one.
    void setFeedURL(const std::optional<std::string>& url);

    // Seconds between automatic checks; kDefaultUpdateCheckInterval while none is stored.
    double updateCheckInterval() const;
    // Stored as whole seconds. A negative or non-finite interval is refused and changes nothing.
    void setUpdateCheckInterval(double seconds);

    bool automaticallyChecksForUpdates() const; // false while unset
    void setAutomaticallyChecksForUpdates(bool automaticallyChecks);

    bool automaticallyDownloadsUpdates() const; // false while unset
    void setAutomaticallyDownloadsUpdates(bool automaticallyDownloads);

    // The date of the last completed check; absent before the first.
    std::optional<PlistDate> lastUpdateCheckDate() const;
    // Recorded by the check when it completes.
    void setLastUpdateCheckDate(PlistDate date);

    // The user's "Check for Updates…": reports every outcome in an alert.
    void checkForUpdates(CheckCompletion completion = {});
    // The scheduled check: alerts only when an update is available.
    void checkForUpdatesInBackground(CheckCompletion completion = {});
    bool isCheckingForUpdates() const;

    // Runs the scheduled checks while automatic checks are on: the next falls due one
    // interval after the last completed check, at the earliest a minute from now (or one
    // interval, when that is shorter, but never under a second), and then one interval after
    // each check, whatever its outcome (a failing feed is not hammered).
    void startScheduledChecks();
    void stopScheduledChecks();
    std::optional<std::chrono::system_clock::time_point> nextScheduledCheck() const;

    // Who shows an offered update and its installation (the desktop's update window); without
    // one, an available update is only announced in an alert. nullptr removes it.
    void setUserDriver(std::shared_ptr<SUUserDriver> driver);
    std::shared_ptr<SUUserDriver> userDriver() const;

    // How Telvora quits when an installed update relaunches it (the application's orderly shutdown).
    void setTerminationHandler(std::function<void()> terminate);

    // The version the user chose to skip: scheduled checks do not offer it again (a check the
    // user asks for does). Absent when none.
    static constexpr const char* kSkippedVersionKey = "SUSkippedVersion";
    std::optional<std::string> skippedVersion() const;
    // A package downloaded by automatic updating is offered once per version.
    static constexpr const char* kOfferedPackageVersionKey = "SUOfferedPackageVersion";
    // The old bundle left by an update installed at quit, removed once the new one has started.
    static constexpr const char* kPreviousBundleKey = "SUPreviousBundle";

    // An offered update is being shown, downloaded or installed.
    bool isUpdating() const { return session_ != nullptr; }
    // A verified bundle waits to be swapped in at quit.
    bool hasUpdateToInstallOnQuit() const { return pendingBundle_.has_value(); }
    // At quit: swaps in the waiting bundle with renames (the old one is kept beside it until the
    // new one has started). At start: removes such an old bundle.
    void installUpdateOnQuit();
    void removePreviousBundle();

    // Where and how this Telvora is installed, asked when an update is offered; the running
    // application's by default (tests give their own).
    void setInstallationHostProvider(std::function<SUInstallationHost()> provider);

    // Time-outs of the update download (the whole transfer; the feed's own limits stay).
    void setDownloadOptions(const SUFeedFetcher::Options& options);

    // Time-outs, redirect and size limits of the feed fetch.
    void setFetchOptions(const SUFeedFetcher::Options& options);

private:
    struct HostVersion {
        std::string version;        // CFBundleVersion
        std::string displayVersion; // CFBundleShortVersionString, else CFBundleVersion
    };

    void store(const PlistValue& value, const char* key);
    SUInstallationHost host() const;
    void scheduleNextCheck(bool afterACheck);
    void startCheck(bool userInitiated, CheckCompletion completion);
    void finishCheck(const SUUpdateCheckResult& result);
    void presentResult(const SUUpdateCheckResult& result, bool userInitiated);
    // An available update: offered, downloaded silently, skipped or only announced.
    void handleAvailableUpdate(const SUUpdateCheckResult& result, bool userInitiated);
    void announceInAlert(const SUUpdateCheckResult& result) const;
    void startSession(const SUAppcastItem& item, bool userInitiated, bool silently);
    static HostVersion hostVersion();
    // The address fetched for `feed`: a feed without a scheme is fetched over https.
    static std::string fetchableURL(const std::string& feed);
    static SUUpdateCheckResult performCheck(const std::optional<std::string>& feed, const HostVersion& host,
                                            const SUFeedFetcher::Options& options, const std::atomic<bool>& cancelled);
    // The notes of an offered item given only by address, fetched on the check's thread.
    static void fetchReleaseNotes(SUAppcastItem& item, SUFeedFetcher::Options options,
                                  const std::atomic<bool>& cancelled);
    static SUUpdateCheckResult compareWithHost(const SUAppcastItem& newest, const HostVersion& host);

    UserDefaults& defaults_;
    std::shared_ptr<SUUserDriver> userDriver_;
    std::function<void()> terminate_;
    std::function<SUInstallationHost()> hostProvider_;
    std::shared_ptr<class SUUpdateSession> session_;
    struct PendingBundle {
        std::string bundle;
        std::string version;
    };
    std::optional<PendingBundle> pendingBundle_;
    SUFeedFetcher::Options downloadOptions_{std::chrono::milliseconds(15000), std::chrono::hours(1), 5,
                                           std::size_t(1) << 31};

    bool scheduling_ = false;
    std::shared_ptr<DispatchTimer> scheduleTimer_;
    std::optional<std::chrono::system_clock::time_point> nextCheck_;

    mutable std::mutex checkMutex_;
    bool checking_ = false;
    bool userInitiated_ = false;
    std::vector<CheckCompletion> completions_;
    SUFeedFetcher::Options fetchOptions_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    // Main-queue reports hold it weakly: a report arriving after the updater is gone is dropped.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}
