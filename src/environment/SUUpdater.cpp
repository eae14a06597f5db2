#include "environment/SUUpdater.h"

#include "foundation/UserDefaults.h"

#include <cmath>

namespace tvi {

SUUpdater::SUUpdater(UserDefaults& defaults) : defaults_(defaults) {}

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

}
