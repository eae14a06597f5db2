// The crash check at start and its prompt, on the in-memory alerts: what each answer logs
// and stores, and that declined reports are offered again.
#include "app/TVIAppDelegate.h"
#include "app/TVICrashReports.h"
#include "app/TVIPreferenceKeys.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "platform/memory/AlertsTestInterface.h"
#include "support/CollectingLogger.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;

AlertsTestInterface& alerts() { return dynamic_cast<AlertsTestInterface&>(*Platform::get<Alerts>()); }

class CrashPromptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logger = CollectingLogger::install();
        alerts().reset();
        UserDefaults::standard().setBool(true, TVICheckForCrashesAtStartup);
        UserDefaults::standard().removeObjectForKey(TVICrashLogLastSubmitedDate);
        fs::create_directories(testHome() + "/Library/Logs/DiagnosticReports");
        std::ofstream(testHome() + "/Library/Logs/DiagnosticReports/Telvora_2024-01-01-000000_vm.crash") << "x";
    }
    void TearDown() override { CollectingLogger::uninstall(logger); }

    std::shared_ptr<TVIAppDelegate> controller = std::make_shared<TVIAppDelegate>();
    std::shared_ptr<CollectingLogger> logger;
};

TEST_F(CrashPromptTest, OkOpensTheReportWindowAndTheTickedBoxSwitchesTheCheckOff)
{
    alerts().queueAnswer({1, true});
    controller->crashReports().checkForCrashes();
    ASSERT_EQ(alerts().shownAlerts().size(), 1u);
    const Alert shown = alerts().shownAlerts().front();
    EXPECT_EQ(shown.messageText, "Telvora");
    EXPECT_EQ(shown.informativeText, "Telvora detected a crash. Do you want to submit a problem report ?");
    EXPECT_EQ(shown.buttons, (std::vector<std::string>{"Cancel", "Ok"}));
    EXPECT_TRUE(shown.showsSuppressionButton);
    EXPECT_EQ(shown.alertStyle, AlertStyle::Warning);
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => TVICheckForCrashesAtStartup found crash/es since last submitted date"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: User opted to send a report"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => showReportProblem"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: User opted to never show the  crash alert dialog!"));
    EXPECT_FALSE(UserDefaults::standard().boolForKey(TVICheckForCrashesAtStartup));
    EXPECT_TRUE(controller->crashReports().crashManager());

    controller->crashReports().checkForCrashes();
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => TVICheckForCrashesAtStartup is set to NO. Will Skip Check For Crashes"));
    EXPECT_EQ(alerts().shownAlerts().size(), 1u);
}

TEST_F(CrashPromptTest, DeclinedReportsAreOfferedAgainUntilANewerSubmission)
{
    alerts().queueAnswer({0, false});
    controller->crashReports().checkForCrashes();
    EXPECT_TRUE(logger->contains("TVIAppDelegate: User opted to NOT send a report"));
    EXPECT_FALSE(logger->contains("TVIAppDelegate: => showReportProblem"));
    EXPECT_TRUE(UserDefaults::standard().boolForKey(TVICheckForCrashesAtStartup));
    EXPECT_TRUE(controller->crashReports().checkForCrashLogDataAtLaunch());

    UserDefaults::standard().setObject(PlistValue(std::chrono::system_clock::now() + std::chrono::hours(1)),
                                       TVICrashLogLastSubmitedDate);
    EXPECT_FALSE(controller->crashReports().checkForCrashLogDataAtLaunch());
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => TVICheckForCrashesAtStartup didnt find any crash"));
}

}
}
