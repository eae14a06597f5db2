// Report names and times as the crash handler writes them, and what the finder makes of
// the report folders: name rules, folder choice and the last-submission date.
#include "diagnostics/CrashReportText.h"
#include "diagnostics/TVICrashLogFinder.h"
#include "support/CollectingLogger.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

std::string reportName(long long seconds, long offset, const char* host, const char* extension)
{
    char buffer[256];
    CrashReportText text(buffer, sizeof buffer);
    CrashReportText::reportName(text, "Telvora", CrashReportText::civilTime(seconds, offset), host, extension);
    return text.text();
}

TEST(CrashReportTextTest, NamesCarryTheLocalTimeTheFinderRecognises)
{
    // 2024-02-29 23:59:59 UTC, a leap day.
    EXPECT_EQ(reportName(1709251199, 0, "vm", "crash"), "Telvora_2024-02-29-235959_vm.crash");
    // One hour east of UTC crosses into March.
    EXPECT_EQ(reportName(1709251199, 3600, "vm", "crash"), "Telvora_2024-03-01-005959_vm.crash");
    // West of UTC at the epoch: the day before, in 1969.
    EXPECT_EQ(reportName(0, -1, "h", "hang"), "Telvora_1969-12-31-235959_h.hang");
    EXPECT_TRUE(TVICrashLogFinder::isCrashReportName(reportName(1709251199, 0, "vm", "crash"), "Telvora"));

    char small[8];
    CrashReportText cut(small, sizeof small);
    cut.add("0123456789").addHex(0xdead);
    EXPECT_STREQ(cut.text(), "0123456"); // cut off, never overrun
    char numbers[64];
    CrashReportText text(numbers, sizeof numbers);
    text.addDecimal(-9223372036854775807LL - 1).add(" ").addHex(0);
    EXPECT_STREQ(text.text(), "-9223372036854775808 0x0");
}

TEST(CrashReportTextTest, OnlyReportsOfThisExecutableWithTheCrashExtensionCount)
{
    EXPECT_TRUE(TVICrashLogFinder::isCrashReportName("Telvora_x.crash", "Telvora"));
    EXPECT_FALSE(TVICrashLogFinder::isCrashReportName("TelvoraHelper_x.crash", "Telvora"));
    EXPECT_FALSE(TVICrashLogFinder::isCrashReportName("Telvora.crash", "Telvora"));
    EXPECT_FALSE(TVICrashLogFinder::isCrashReportName("Telvora_x.crash.txt", "Telvora"));
    EXPECT_FALSE(TVICrashLogFinder::isCrashReportName("Telvora_x.hang", "Telvora"));
    EXPECT_FALSE(TVICrashLogFinder::isCrashReportName("old/Telvora_x.crash", "Telvora"));
}

class TVICrashLogFinderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logs = testHome() + "/Library/Logs";
        fs::remove_all(logs);
        logger = CollectingLogger::install();
    }
    void TearDown() override
    {
        CollectingLogger::uninstall(logger);
        fs::remove_all(logs);
    }

    // Writes the file and sets its modification time.
    static std::string file(const std::string& path, system_clock::time_point modified)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "report";
        const auto since = modified.time_since_epoch();
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {static_cast<time_t>(duration_cast<seconds>(since).count()),
                                    static_cast<long>((since % seconds(1)) / nanoseconds(1))}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }

    std::string logs;
    std::shared_ptr<CollectingLogger> logger;
};

TEST_F(TVICrashLogFinderTest, FindsThisExecutablesReportsAtOrAfterTheDate)
{
    const auto date = system_clock::time_point(seconds(1700000000) + nanoseconds(123456789));
    const std::string crashes = logs + "/DiagnosticReports/";
    const std::string atDate = file(crashes + "Telvora_2023-11-14-221320_vm.crash", date);
    file(crashes + "Telvora_2023-11-14-221319_vm.crash", date - nanoseconds(1));
    // The name rule applies to the path below the folder: a report in a subfolder does not match it.
    file(crashes + "sub/Telvora_a.crash", date + hours(1));
    const std::string nested = file(crashes + "Telvora_sub/x.crash", date + hours(1));
    file(crashes + "Calvetto_2023-11-14-221320_vm.crash", date + hours(1));
    file(crashes + "Telvora_2023-11-14-221320_vm.log", date + hours(1));
    file(logs + "/CrashReporter/Telvora_old.crash", date + hours(1)); // not searched: DiagnosticReports exists
    const std::string hang = file(logs + "/HangReporter/Telvora/Telvora_x_vm.hang", date);
    file(logs + "/HangReporter/Telvora/notes.txt", date);
    file(logs + "/HangReporter/Calvetto/Calvetto_x.hang", date);

    auto found = TVICrashLogFinder::findCrashLogsSince(date);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found.back(), hang); // crash reports first, then hang reports
    found.pop_back();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{atDate, nested}));
    EXPECT_TRUE(logger->contains("TVICrashLogFinder: Number of library Directories 1"));
    EXPECT_TRUE(logger->contains("TVICrashLogFinder: Searching for crash files at " + crashes));
    EXPECT_TRUE(logger->contains("TVICrashLogFinder: Found crash file " + atDate));
    EXPECT_TRUE(logger->contains("TVICrashLogFinder: Searching for hang files at " + logs + "/HangReporter/Telvora/"));

    // Without a date every report counts, the one a nanosecond early included.
    EXPECT_EQ(TVICrashLogFinder::findCrashLogsSince(std::nullopt).size(), 4u);
    EXPECT_FALSE(TVICrashLogFinder::fileIsNewerThan(crashes + "missing.crash", std::nullopt));
}

TEST_F(TVICrashLogFinderTest, FallsBackToTheOlderCrashFolderOnlyWhenTheNewOneIsMissing)
{
    const std::string old = file(logs + "/CrashReporter/Telvora_old.crash", system_clock::now());
    EXPECT_EQ(TVICrashLogFinder::findCrashLogsSince(std::nullopt), std::vector<std::string>{old});
    fs::remove_all(logs);
    EXPECT_TRUE(TVICrashLogFinder::findCrashLogsSince(std::nullopt).empty());
}

}
}
