#include "capture/TVIAccessibility.h"
#include "capture/TVIKeyPosting.h"
#include "capture/TVIWindowUtils.h"

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLog.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryAccessibility.h"
#include "platform/memory/MemoryKeyEvents.h"
#include "platform/memory/MemoryWorkspace.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tvi {
namespace {

using Kind = PostedKeyEvent::Kind;
using Events = std::vector<PostedKeyEvent>;
using Apps = std::vector<RunningApplication>;

class RecordingLogger : public DDAbstractLogger {
public:
    RecordingLogger() : DDAbstractLogger("test.capture") {}
    void logMessage(const DDLogMessage& message) override
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(message.logMsg());
    }
    bool logged(const std::string& line) const
    {
        DDLog::flushLog();
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class TVISelectedTextCaptureTest : public ::testing::Test {
protected:
    TVISelectedTextCaptureTest() { DDLog::addLogger(logger_); }
    ~TVISelectedTextCaptureTest() override { DDLog::removeLogger(logger_); }

    std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
    std::shared_ptr<MemoryWorkspace> workspace_ = std::make_shared<MemoryWorkspace>();
    std::shared_ptr<MemoryKeyEvents> keys_ = std::make_shared<MemoryKeyEvents>();
    std::shared_ptr<MemoryAccessibility> accessibility_ = std::make_shared<MemoryAccessibility>();
    Platform::Scoped<Workspace> installedWorkspace_{workspace_};
    Platform::Scoped<KeyEvents> installedKeys_{keys_};
    Platform::Scoped<Accessibility> installedAccessibility_{accessibility_};
};

TEST_F(TVISelectedTextCaptureTest, OnlyCalvettoOrTelvoraInFrontAnswerTrue)
{
    workspace_->setFrontmostApplication("com.orvella.phoneclient");
    EXPECT_TRUE(TVIWindowUtils::checkFrontMostApplication());
    workspace_->setFrontmostApplication("com.orvella.Telvora");
    EXPECT_TRUE(TVIWindowUtils::checkFrontMostApplication());
    for (const char* other : {"com.apple.TextEdit", "com.orvella.phoneclient.helper", "com.orvella.telvora", ""}) {
        workspace_->setFrontmostApplication(other);
        EXPECT_FALSE(TVIWindowUtils::checkFrontMostApplication()) << other;
    }
    workspace_->setFrontmostApplication(std::nullopt);
    EXPECT_FALSE(TVIWindowUtils::checkFrontMostApplication());

    EXPECT_TRUE(logger_->logged("TVIWindowUtils: Frontmost Application is: com.apple.TextEdit"));
    EXPECT_TRUE(logger_->logged("TVIWindowUtils: Frontmost Application is: (null)"));
}

TEST_F(TVISelectedTextCaptureTest, BringsTheLastListedCalvettoToTheFrontAndNothingElse)
{
    const RunningApplication first{"com.orvella.phoneclient", 101};
    const RunningApplication second{"com.orvella.phoneclient", 102};
    workspace_->setRunningApplications({first, {"com.apple.TextEdit", 103}, second, {"com.orvella.Telvora", 104}});
    TVIWindowUtils::bringToFrontCalvetto();
    EXPECT_EQ(workspace_->activations(), Apps{second});
    EXPECT_TRUE(TVIWindowUtils::checkFrontMostApplication());

    workspace_->setRunningApplications({{"com.apple.TextEdit", 103}});
    TVIWindowUtils::bringToFrontCalvetto();
    EXPECT_EQ(workspace_->activations(), Apps{second}); // Calvetto not running: nothing happens
}

TEST_F(TVISelectedTextCaptureTest, PostsOneKeyDownWithExactlyTheFlagsThenOneKeyUp)
{
    postKeyWithModifiers(kCopyKeyCode, kCGEventFlagMaskCommand);
    EXPECT_EQ(keys_->postedEvents(), (Events{{Kind::KeyDown, 8, 0x100000}, {Kind::KeyUp, 8, 0}}));
    EXPECT_TRUE(logger_->logged("TVIKeyPosting: => PostKeyWithModifiers"));

    keys_->clearPostedEvents();
    postKeyWithModifiers(0x7A, 0x120000); // Shift-Command-F1: both flags, nothing added
    EXPECT_EQ(keys_->postedEvents(), (Events{{Kind::KeyDown, 0x7A, 0x120000}, {Kind::KeyUp, 0x7A, 0}}));
}

TEST_F(TVISelectedTextCaptureTest, NothingIsPostedWithoutAFrontProcessOrAfterAFailedPress)
{
    keys_->setFrontProcess(std::nullopt);
    postKeyWithModifiers(kCopyKeyCode, kCGEventFlagMaskCommand);
    EXPECT_TRUE(keys_->postedEvents().empty());

    keys_->setFrontProcess(42);
    keys_->setFailPosting(true);
    postKeyWithModifiers(kCopyKeyCode, kCGEventFlagMaskCommand);
    keys_->setFailPosting(false);
    EXPECT_TRUE(keys_->postedEvents().empty()); // no release of a key that was never pressed
    EXPECT_TRUE(logger_->logged("TVIKeyPosting: Could not post key down for key code 8"));
}

TEST_F(TVISelectedTextCaptureTest, TrustQueryNeverPromptsThePanelPromptsOnlyWhileUntrustedOrRunsTheScript)
{
    EXPECT_FALSE(TVIAccessibilityIsEnabled());
    EXPECT_EQ(accessibility_->promptCount(), 0);
    TVIAccessibilityOpenPanel();
    EXPECT_EQ(accessibility_->promptCount(), 1);

    accessibility_->setTrusted(true);
    EXPECT_TRUE(TVIAccessibilityIsEnabled());
    TVIAccessibilityOpenPanel();
    EXPECT_EQ(accessibility_->promptCount(), 1);
    EXPECT_TRUE(accessibility_->scripts().empty());

    // Older systems: the global query, and the settings script instead of the prompt.
    accessibility_->setTrusted(false);
    accessibility_->setHasTrustQueryWithOptions(false);
    EXPECT_FALSE(TVIAccessibilityIsEnabled());
    accessibility_->setTrusted(true);
    EXPECT_TRUE(TVIAccessibilityIsEnabled());

    TVIAccessibilityOpenPanel();
    EXPECT_EQ(accessibility_->promptCount(), 1);
    EXPECT_EQ(accessibility_->scripts(),
              std::vector<std::string>{"tell application \"System Preferences\"\nactivate\n"
                                       "set current pane to pane \"com.apple.preference.universalaccess\"\nend tell"});
}

}
}
