// The real executable, headless: a fatal signal leaves a crash report that the next start
// finds and offers; a main thread blocked past the hang threshold leaves one hang report.
// The crash handler is installed in main(), after the sanitizer's, so it runs under ASan
// with the default options and the process still ends by the signal.
#include "TelvoraProcess.h"
#include "foundation/UserDefaults.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using peer::TelvoraProcess;

const std::string kExecutable = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";

std::vector<std::string> filesIn(const std::string& folder, const std::string& extension)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == extension) found.push_back(it->path().string());
    return found;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class CrashReportTest : public ::testing::Test {
protected:
    void SetUp() override { home = makeTempDir("crash-home"); }
    void TearDown() override
    {
        if (telvora) telvora->terminate();
        unsetenv("TELVORA_TEST_HOOKS");
        unsetenv("TELVORA_TEST_BLOCK_SECONDS");
    }

    void start()
    {
        if (telvora) telvora->terminate();
        telvora = std::make_unique<TelvoraProcess>(kExecutable, home);
        ASSERT_TRUE(telvora->start({"--headless"}, home + "/console.txt"));
        ASSERT_TRUE(telvora->waitForPort(20s)) << contents(home + "/console.txt");
    }

    bool waitForLine(const std::string& line, std::chrono::seconds timeout = 10s) const
    {
        for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(100ms)) {
            const auto lines = telvora->logLines();
            if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
        }
        return false;
    }

    std::string home;
    std::unique_ptr<TelvoraProcess> telvora;
};

TEST_F(CrashReportTest, ASegmentationFaultLeavesAReportThatTheNextStartOffers)
{
    start();
    ASSERT_EQ(kill(telvora->pid(), SIGSEGV), 0);
    EXPECT_EQ(telvora->waitForExit(20s), 128 + SIGSEGV); // the signal took its normal course

    const std::string folder = home + "/Library/Logs/DiagnosticReports";
    const auto reports = filesIn(folder, ".crash");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(fs::path(reports[0]).filename().string().starts_with("Telvora_"));
    struct stat status {};
    ASSERT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    const std::string report = contents(reports[0]);
    EXPECT_NE(report.find("Signal:          SIGSEGV (11)"), std::string::npos) << report;
    EXPECT_NE(report.find("Signal code:     SI_USER"), std::string::npos);
    EXPECT_NE(report.find("Version:         Telvora "), std::string::npos);
    const auto backtrace = report.find("Backtrace of the crashing thread:");
    ASSERT_NE(backtrace, std::string::npos);
    // kill() reaches whichever thread takes the signal: any of ours, resolved to the executable.
    EXPECT_NE(report.find("/Contents/MacOS/Telvora(", backtrace), std::string::npos) << report.substr(backtrace, 3000);
    EXPECT_NE(report.find("Binary images (/proc/self/maps):"), std::string::npos);
    EXPECT_NE(report.find("/Contents/MacOS/Telvora\n"), std::string::npos);

    start();
    EXPECT_TRUE(waitForLine("TVIAppDelegate: => TVICheckForCrashesAtStartup found crash/es since last submitted date"));
    // Headless, the in-memory alert answers with its first button.
    EXPECT_TRUE(waitForLine("MemoryAlerts: No answer scripted for alert \"Telvora\"; answering with its first button \"Cancel\""));
    EXPECT_TRUE(waitForLine("TVIAppDelegate: User opted to NOT send a report"));
    EXPECT_EQ(telvora->terminate(), 0);
}

TEST_F(CrashReportTest, AMainThreadBlockedPastTheThresholdLeavesOneHangReport)
{
    {
        UserDefaults stored("com.orvella.Telvora", home + "/Library/Preferences/com.orvella.Telvora.plist");
        stored.setDouble(1.0, "TVIHangThresholdSeconds");
        ASSERT_TRUE(stored.synchronize());
    }
    setenv("TELVORA_TEST_HOOKS", "1", 1);
    setenv("TELVORA_TEST_BLOCK_SECONDS", "4", 1);
    start();
    ASSERT_EQ(kill(telvora->pid(), SIGUSR2), 0);
    ASSERT_TRUE(waitForLine("TVITestHooks: Test hook: blocking the main thread for 4 s"));
    std::this_thread::sleep_for(6s);
    EXPECT_TRUE(telvora->isRunning());

    const auto reports = filesIn(home + "/Library/Logs/HangReporter/Telvora", ".hang");
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = contents(reports[0]);
    const auto backtrace = report.find("Backtrace of the main thread:");
    ASSERT_NE(backtrace, std::string::npos) << report.substr(0, 2000);
    EXPECT_NE(report.find("telvoraTestHookBlockMainThread", backtrace), std::string::npos)
        << report.substr(backtrace, 3000);
    EXPECT_EQ(telvora->terminate(), 0);
}

}
}
