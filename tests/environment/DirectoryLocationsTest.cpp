#include "environment/DirectoryLocations.h"

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLog.h"
#include "foundation/Bundle.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace tvi {
namespace {

namespace fs = std::filesystem;

class CollectingLogger : public DDAbstractLogger {
public:
    CollectingLogger() : DDAbstractLogger("test.collecting") {}
    void logMessage(const DDLogMessage& message) override
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(message);
    }
    std::vector<DDLogMessage> lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<DDLogMessage> lines_;
};

// Every test gets a HOME of its own and Telvora's assembled bundle as main bundle.
class DirectoryLocationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedHome_ = std::getenv("HOME");
        home_ = test::makeTempDir("home");
        setenv("HOME", home_.c_str(), 1);
        Bundle::setMainBundle(Bundle(TELVORA_APP_DIR));
        logger_ = std::make_shared<CollectingLogger>();
        DDLog::addLogger(logger_);
    }
    void TearDown() override
    {
        DDLog::removeLogger(logger_);
        Bundle::setMainBundle(std::nullopt);
        setenv("HOME", savedHome_.c_str(), 1);
    }
    std::vector<DDLogMessage> loggedLines()
    {
        DDLog::flushLog();
        return logger_->lines();
    }
    std::string appSupport() const { return home_ + "/Library/Application Support"; }

    std::string savedHome_;
    std::string home_;
    std::shared_ptr<CollectingLogger> logger_;
};

TEST_F(DirectoryLocationsTest, ApplicationSupportFolderIsNamedAfterTheExecutableAndCreated)
{
    Error error{"stale", 7, "stale", {}};
    auto found = DirectoryLocations::findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, UserDomainMask,
                                                           "Telvora", true, &error);
    EXPECT_EQ(error.domain, ""); // success clears the out-parameter
    auto path = DirectoryLocations::applicationSupportDirectory();
    ASSERT_TRUE(path);
    EXPECT_EQ(path, found);
    EXPECT_EQ(*path, appSupport() + "/Telvora");
    EXPECT_TRUE(fs::is_directory(*path));
    EXPECT_TRUE(loggedLines().empty());
}

TEST_F(DirectoryLocationsTest, LogFolderIsReturnedButNeverCreated)
{
    auto path = DirectoryLocations::applicationLogDirectory();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, home_ + "/Library/Logs/Telvora");
    EXPECT_FALSE(fs::exists(*path));
    EXPECT_FALSE(fs::exists(home_ + "/Library/Logs"));
}

TEST_F(DirectoryLocationsTest, SubmissionFolderLiesInTheSupportTreeAndSurvivesASecondCall)
{
    auto first = DirectoryLocations::applicationSupportDirectorySubmissionDirectory();
    ASSERT_TRUE(first);
    // The leading "/" of the sub-path must not double the separator.
    EXPECT_EQ(*first, appSupport() + "/Telvora/Latest Submission");
    ASSERT_TRUE(fs::is_directory(*first));
    std::ofstream(*first + "/log0.gzip") << "x";

    auto second = DirectoryLocations::applicationSupportDirectorySubmissionDirectory();
    EXPECT_EQ(second, first);
    EXPECT_TRUE(fs::exists(*first + "/log0.gzip")); // the existing folder was left alone
    EXPECT_EQ(std::distance(fs::directory_iterator(appSupport()), fs::directory_iterator()), 1);
}

// The attachments are logs and crash reports; a Library others may read must not expose them.
TEST_F(DirectoryLocationsTest, SubmissionFolderIsPrivateBelowALibraryOthersMayRead)
{
    fs::create_directory(home_ + "/Library");
    fs::permissions(home_ + "/Library", fs::perms(0755));
    const auto folder = DirectoryLocations::applicationSupportDirectorySubmissionDirectory();
    ASSERT_TRUE(folder);
    EXPECT_EQ(fs::status(*folder).permissions(), fs::perms::owner_all);
    fs::permissions(*folder, fs::perms(0755)); // as an older version left it
    EXPECT_EQ(DirectoryLocations::applicationSupportDirectorySubmissionDirectory(), folder);
    EXPECT_EQ(fs::status(*folder).permissions(), fs::perms::owner_all);
}

TEST_F(DirectoryLocationsTest, FileInTheWayFailsWithThePlatformErrorAndALogLine)
{
    fs::create_directories(appSupport());
    std::ofstream(appSupport() + "/Telvora") << "not a folder";

    Error error;
    error.domain = "stale";
    auto path = DirectoryLocations::findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, UserDomainMask,
                                                          "/Telvora/Latest Submission", true, &error);
    EXPECT_FALSE(path);
    EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
    EXPECT_TRUE(error.code == ENOTDIR || error.code == EEXIST) << error.description();

    EXPECT_FALSE(DirectoryLocations::applicationSupportDirectorySubmissionDirectory());
    EXPECT_FALSE(DirectoryLocations::applicationSupportDirectory());
    auto lines = loggedLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].logFlag(), DDLogFlagInfo);
    const std::string prefix = "DirectoryLocations: Unable to find or create application support ";
    EXPECT_EQ(lines[0].logMsg().rfind(prefix + "submission directory:\nError Domain=NSPOSIXErrorDomain", 0), 0u);
    EXPECT_EQ(lines[1].logMsg().rfind(prefix + "directory:\nError Domain=NSPOSIXErrorDomain", 0), 0u);
    EXPECT_TRUE(fs::is_regular_file(appSupport() + "/Telvora")); // the file is untouched
}

TEST_F(DirectoryLocationsTest, NoStandardFolderGivesTheLocationError)
{
    Error error;
    auto path = DirectoryLocations::findOrCreateDirectory(SearchPathDirectory::Library, 0, "Logs", true, &error);
    EXPECT_FALSE(path);
    EXPECT_EQ(error.domain, "DirectoryLocationDomain");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.localizedDescription, "No path found for directory in domain.");
    EXPECT_EQ(error.userInfo["NSSearchPathDirectory"], "5");
    EXPECT_EQ(error.userInfo["NSSearchPathDomainMask"], "0");
    // Without an out-parameter the failure is still just an absent path.
    EXPECT_FALSE(DirectoryLocations::findOrCreateDirectory(SearchPathDirectory::Library, 0, "Logs", true, nullptr));
}

TEST_F(DirectoryLocationsTest, MissingExecutableNameLeavesTheSubPathOut)
{
    std::string bundle = test::makeTempDir("NoName.app");
    fs::create_directories(bundle + "/Contents");
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>com.example.noname</string></dict></plist>\n";
    Bundle::setMainBundle(Bundle(bundle));

    auto path = DirectoryLocations::applicationSupportDirectory();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, appSupport());
    EXPECT_TRUE(fs::is_directory(*path));
}

}
}
