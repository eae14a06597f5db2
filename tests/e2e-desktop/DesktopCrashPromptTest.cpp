// Desktop mode: a Telvora killed by SIGSEGV leaves a report; the next start shows the crash
// prompt as a real dialog, answered with the keyboard. Needs the desktop alerts backend: on a
// build whose alerts are still in memory the dialog part is skipped.
#include "DesktopTelvoraFixture.h"
#include "foundation/UserDefaults.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;

class DesktopCrashPromptTest : public DesktopTelvoraFixture {
protected:
    bool waitForLine(const std::string& line, std::chrono::seconds timeout = 15s) const
    {
        for (const auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
            const auto lines = telvora->logLines();
            if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
        }
        return false;
    }

    // Crashes the running Telvora and starts it again; false when the prompt has no dialog here.
    bool crashAndRestart()
    {
        EXPECT_EQ(kill(telvora->pid(), SIGSEGV), 0);
        EXPECT_EQ(telvora->waitForExit(20s), 128 + SIGSEGV);
        EXPECT_FALSE(std::filesystem::is_empty(home + "/Library/Logs/DiagnosticReports"));
        telvora = std::make_unique<peer::TelvoraProcess>(std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora", home);
        telvora->keepDisplay();
        EXPECT_TRUE(telvora->start({}, home + "/console.txt"));
        EXPECT_TRUE(waitForLine("TVIAppDelegate: => TVICheckForCrashesAtStartup found crash/es since last submitted date"));
        const auto lines = telvora->logLines();
        return !std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Alerts in-memory") != std::string::npos; });
    }
};

TEST_F(DesktopCrashPromptTest, ReturnAnswersThePromptAndTheTickedBoxSwitchesTheCheckOff)
{
    if (!crashAndRestart()) GTEST_SKIP() << "no desktop alerts backend in this build";
    ASSERT_TRUE(xdotool("search --sync --onlyvisible --name '^Telvora$' windowactivate --sync"));
    // Typed at once, as a quick hand would: the tick must not be lost to the answer.
    ASSERT_TRUE(xdotool("key alt+d Return")); // "Do not show this message again", then "Cancel"
    EXPECT_TRUE(waitForLine("TVIAppDelegate: User opted to never show the  crash alert dialog!"));
    ASSERT_TRUE(telvora->waitForPort(20s));
    telvora->terminate();
    UserDefaults stored("com.orvella.Telvora", home + "/Library/Preferences/com.orvella.Telvora.plist");
    EXPECT_FALSE(stored.boolForKey("TVICheckForCrashesAtStartup"));

    telvora = std::make_unique<peer::TelvoraProcess>(std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora", home);
    telvora->keepDisplay();
    ASSERT_TRUE(telvora->start({}, home + "/console.txt"));
    EXPECT_TRUE(waitForLine("TVIAppDelegate: => TVICheckForCrashesAtStartup is set to NO. Will Skip Check For Crashes"));
}

}
}
