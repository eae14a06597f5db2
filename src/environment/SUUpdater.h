#pragma once

#include "foundation/PlistValue.h"

#include <optional>
#include <string>

namespace tvi {

class UserDefaults;

// Telvora's software updater. Its settings live in the application's user defaults so that
// they survive restarts: the appcast address ("SUFeedURL", text), the seconds between
// automatic checks ("SUScheduledCheckInterval", integer), automatic checks and automatic
// downloads on or off ("SUEnableAutomaticChecks", "SUAutomaticallyUpdate", booleans) and
// the date of the last completed check ("SULastCheckTime", date). Every setter writes and
// synchronises the store at once. The updater keeps nothing else, so any instance over the
// same store sees the same settings.
//
// The user-initiated check (checkForUpdates) joins this class together with the appcast fetch.
class SUUpdater {
public:
    static constexpr const char* kFeedURLKey = "SUFeedURL";
    static constexpr const char* kScheduledCheckIntervalKey = "SUScheduledCheckInterval";
    static constexpr const char* kEnableAutomaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr const char* kAutomaticallyUpdateKey = "SUAutomaticallyUpdate";
    static constexpr const char* kLastCheckTimeKey = "SULastCheckTime";
    // The interval used while none has been set: one day.
    static constexpr double kDefaultUpdateCheckInterval = 86400;

    // An updater over `defaults`; the application uses sharedUpdater().
    explicit SUUpdater(UserDefaults& defaults);
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

private:
    void store(const PlistValue& value, const char* key);

    UserDefaults& defaults_;
};

}
