#include "update/SUUpdater.h"

#include "foundation/UserDefaults.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace tvi {
namespace {

using namespace std::chrono;

class SUUpdaterTest : public ::testing::Test {
protected:
    const std::string file_ = test::makeTempDir("defaults") + "/com.orvella.Telvora.plist";
    UserDefaults defaults_{"com.orvella.Telvora", file_};
    SUUpdater updater_{defaults_};

    // What a later start of the program finds on disk.
    PlistValue storedValue(const std::string& key) const
    {
        UserDefaults reread("com.orvella.Telvora", file_);
        return reread.objectForKey(key);
    }
};

TEST_F(SUUpdaterTest, NothingSetYet)
{
    EXPECT_EQ(updater_.feedURL(), std::nullopt);
    EXPECT_EQ(updater_.updateCheckInterval(), 86400.0);
    EXPECT_FALSE(updater_.automaticallyChecksForUpdates());
    EXPECT_FALSE(updater_.automaticallyDownloadsUpdates());
    EXPECT_EQ(updater_.lastUpdateCheckDate(), std::nullopt);
}

TEST_F(SUUpdaterTest, SettingsAreStoredAtOnceUnderTheirKeysWithTheirTypes)
{
    const PlistDate checked = sys_days{2024y / March / 15} + 10h + 30min;
    updater_.setFeedURL("10.0.0.5/management/downloads/Appcast.xml");
    updater_.setUpdateCheckInterval(3600);
    updater_.setAutomaticallyChecksForUpdates(true);
    updater_.setAutomaticallyDownloadsUpdates(false);
    updater_.setLastUpdateCheckDate(checked);

    // Read from the file while the writing store is still alive: each setter synchronised.
    PlistValue feed = storedValue("SUFeedURL");
    ASSERT_TRUE(feed.is<std::string>());
    EXPECT_EQ(*feed.get<std::string>(), "10.0.0.5/management/downloads/Appcast.xml");
    PlistValue interval = storedValue("SUScheduledCheckInterval");
    ASSERT_TRUE(interval.is<std::int64_t>());
    EXPECT_EQ(*interval.get<std::int64_t>(), 3600);
    PlistValue checks = storedValue("SUEnableAutomaticChecks");
    ASSERT_TRUE(checks.is<bool>());
    EXPECT_TRUE(*checks.get<bool>());
    PlistValue downloads = storedValue("SUAutomaticallyUpdate");
    ASSERT_TRUE(downloads.is<bool>());
    EXPECT_FALSE(*downloads.get<bool>());
    PlistValue date = storedValue("SULastCheckTime");
    ASSERT_TRUE(date.is<PlistDate>());
    EXPECT_EQ(*date.get<PlistDate>(), checked);

    // A fresh updater over a fresh store (the next start) reads all of it back.
    UserDefaults nextStart("com.orvella.Telvora", file_);
    SUUpdater restarted(nextStart);
    EXPECT_EQ(restarted.feedURL(), "10.0.0.5/management/downloads/Appcast.xml");
    EXPECT_EQ(restarted.updateCheckInterval(), 3600.0);
    EXPECT_TRUE(restarted.automaticallyChecksForUpdates());
    EXPECT_FALSE(restarted.automaticallyDownloadsUpdates());
    EXPECT_EQ(restarted.lastUpdateCheckDate(), checked);
}

TEST_F(SUUpdaterTest, NoUsableFeedRemovesTheStoredOne)
{
    updater_.setFeedURL("10.0.0.5/management/downloads/Appcast.xml");
    updater_.setFeedURL("");
    EXPECT_EQ(updater_.feedURL(), std::nullopt);
    EXPECT_TRUE(storedValue("SUFeedURL").isAbsent());
    updater_.setFeedURL("10.0.0.5/management/downloads/Appcast.xml");
    updater_.setFeedURL(std::nullopt);
    EXPECT_TRUE(storedValue("SUFeedURL").isAbsent());
}

TEST_F(SUUpdaterTest, IntervalIsWholeSecondsAndNonsenseIsRefused)
{
    updater_.setUpdateCheckInterval(3600.6);
    EXPECT_EQ(*storedValue("SUScheduledCheckInterval").get<std::int64_t>(), 3601);
    for (double bad : {-1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300}) {
        updater_.setUpdateCheckInterval(bad);
        EXPECT_EQ(updater_.updateCheckInterval(), 3601.0) << bad;
    }
    updater_.setUpdateCheckInterval(0);
    EXPECT_EQ(updater_.updateCheckInterval(), 0.0); // zero is a stored value, not "unset"
}

TEST_F(SUUpdaterTest, HandEditedValuesAreReadLeniently)
{
    defaults_.setDouble(7200.0, "SUScheduledCheckInterval"); // a real instead of an integer
    defaults_.setString("1", "SUEnableAutomaticChecks");
    defaults_.setString("not a date", "SULastCheckTime");
    EXPECT_EQ(updater_.updateCheckInterval(), 7200.0);
    EXPECT_TRUE(updater_.automaticallyChecksForUpdates());
    EXPECT_EQ(updater_.lastUpdateCheckDate(), std::nullopt);
}

TEST(SUUpdaterSharedTest, OneUpdaterOverTheStandardDefaults)
{
    SUUpdater& shared = SUUpdater::sharedUpdater();
    EXPECT_EQ(&shared, &SUUpdater::sharedUpdater());
    shared.setUpdateCheckInterval(1800);
    EXPECT_EQ(UserDefaults::standard().integerForKey("SUScheduledCheckInterval"), 1800);
    UserDefaults::standard().removeObjectForKey("SUScheduledCheckInterval");
    UserDefaults::standard().synchronize();
}

}
}

namespace tvi {
namespace {

TEST_F(SUUpdaterTest, ScheduledChecksFollowTheLastCheckAndTheSwitch)
{
    using namespace std::chrono;
    const auto near = [](system_clock::time_point a, system_clock::time_point b) {
        return a - b < seconds(5) && b - a < seconds(5);
    };
    updater_.setUpdateCheckInterval(86400);
    updater_.startScheduledChecks();
    EXPECT_EQ(updater_.nextScheduledCheck(), std::nullopt); // automatic checks are off

    const auto lastCheck = system_clock::now() - hours(1);
    updater_.setLastUpdateCheckDate(lastCheck);
    updater_.setAutomaticallyChecksForUpdates(true);
    ASSERT_TRUE(updater_.nextScheduledCheck());
    EXPECT_TRUE(near(*updater_.nextScheduledCheck(), lastCheck + hours(24)));

    // Long overdue: soon, but not at once.
    updater_.setLastUpdateCheckDate(system_clock::now() - hours(72));
    updater_.startScheduledChecks();
    EXPECT_TRUE(near(*updater_.nextScheduledCheck(), system_clock::now() + minutes(1)));

    updater_.setAutomaticallyChecksForUpdates(false);
    EXPECT_EQ(updater_.nextScheduledCheck(), std::nullopt);
}

}
}
