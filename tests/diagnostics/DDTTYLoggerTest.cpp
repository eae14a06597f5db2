#include "diagnostics/DDLog.h"
#include "diagnostics/DDTTYLogger.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <regex>

namespace tvi {
namespace {

// A console logger writing into a pipe, registered alone with the front end.
class DDTTYLoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DDLog::removeAllLoggers();
        ASSERT_EQ(::pipe2(pipe_, O_NONBLOCK), 0);
    }
    void TearDown() override
    {
        DDLog::removeAllLoggers();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

    std::shared_ptr<DDTTYLogger> addConsole(DDTTYLogger::Environment environment, bool colors = true)
    {
        auto logger = std::make_shared<DDTTYLogger>(pipe_[1], environment);
        if (colors) logger->setColorsEnabled(true);
        DDLog::addLogger(logger);
        return logger;
    }

    static void log(std::int32_t flag, const std::string& text, std::int32_t context = 65535)
    {
        DDLog::log(true, DDLogLevelVerbose, flag, context, __FILE__, __func__, __LINE__, "%@", text);
    }

    std::string output()
    {
        DDLog::flushLog();
        std::string result;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipe_[0], buffer, sizeof buffer)) > 0) result.append(buffer, std::size_t(n));
        return result;
    }

    int pipe_[2] = {-1, -1};
};

// Removes the timestamp and process prefix so that only codes, text and newline remain.
std::string withoutPrefix(const std::string& text)
{
    static const std::regex prefix(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} [^\[]*\[\d+:[0-9a-f]+\] )");
    return std::regex_replace(text, prefix, "");
}

TEST_F(DDTTYLoggerTest, LineCarriesTimeProcessThreadAndOneNewline)
{
    addConsole({}, false);
    log(DDLogFlagInfo, "TVISocket: hello");
    log(DDLogFlagInfo, "ends with newline\n");
    log(DDLogFlagInfo, "bad \xff\xfe utf-8");
    char tid[16];
    std::snprintf(tid, sizeof tid, "%x", static_cast<unsigned>(gettid()));
    const std::string expected = std::string(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} )") +
                                 program_invocation_short_name + R"(\[)" + std::to_string(getpid()) + ":" + tid +
                                 R"(\] )";
    const std::regex lines(expected + "TVISocket: hello\n" + expected + "ends with newline\n");
    const std::string text = output();
    EXPECT_TRUE(std::regex_match(text, lines)) << text << "\n(invalid UTF-8 is dropped)";
}

TEST_F(DDTTYLoggerTest, ColourModeFollowsTermAndXcodeColors)
{
    using Env = DDTTYLogger::Environment;
    EXPECT_EQ(DDTTYLogger::colorModeFor(Env{"xterm-256color", {}}), DDColorMode::Terminal256);
    EXPECT_EQ(DDTTYLogger::colorModeFor(Env{"XTERM-COLOR", {}}), DDColorMode::Terminal16);
    EXPECT_EQ(DDTTYLogger::colorModeFor(Env{"xterm", "YES"}), DDColorMode::None);
    EXPECT_EQ(DDTTYLogger::colorModeFor(Env{{}, "YES"}), DDColorMode::XcodeColors);
    EXPECT_EQ(DDTTYLogger::colorModeFor(Env{{}, "NO"}), DDColorMode::None);
}

TEST_F(DDTTYLoggerTest, DefaultProfilesColourErrorsAndWarningsIn256Colours)
{
    addConsole({"xterm-256color", {}});
    log(DDLogFlagError, "error");
    log(DDLogFlagWarning, "warning");
    log(DDLogFlagInfo, "info");
    EXPECT_EQ(withoutPrefix(output()), "\033[38;5;166merror\n\033[0m"
                                       "\033[38;5;172mwarning\n\033[0m"
                                       "info\n");
}

TEST_F(DDTTYLoggerTest, SixteenColoursUseTheNearestPaletteEntry)
{
    auto logger = addConsole({"xterm-color", {}});
    logger->setForegroundColor(DDColor{255, 255, 255}, DDColor{0, 0, 230}, DDLogFlagInfo);
    log(DDLogFlagError, "error");
    log(DDLogFlagWarning, "warning");
    log(DDLogFlagInfo, "info");
    EXPECT_EQ(withoutPrefix(output()), "\033[31merror\n\033[0m"
                                       "\033[33mwarning\n\033[0m"
                                       "\033[1;37m\033[44minfo\n\033[0m");
}

TEST_F(DDTTYLoggerTest, XcodeColorsCarryTheComponents)
{
    addConsole({{}, "YES"});
    log(DDLogFlagError, "error");
    EXPECT_EQ(withoutPrefix(output()), "\033[fg214,57,30;error\n\033[;");
}

TEST_F(DDTTYLoggerTest, NoCodesWithoutColoursOrWithoutAMatchingProfile)
{
    auto logger = addConsole({"xterm-256color", {}}, false);
    log(DDLogFlagError, "plain");
    logger->setColorsEnabled(true);
    logger->setForegroundColor(DDColor{0, 0, 0}, std::nullopt, DDLogFlagInfo, 7);
    log(DDLogFlagInfo, "other context");
    log(DDLogFlagInfo, "context 7", 7);
    EXPECT_EQ(withoutPrefix(output()), "plain\nother context\n\033[38;5;16mcontext 7\n\033[0m");
}

TEST_F(DDTTYLoggerTest, ExactContextWinsOverAnyContextAndTagsWinOverBoth)
{
    auto logger = addConsole({"xterm-256color", {}});
    logger->setForegroundColor(DDColor{0, 0, 255}, std::nullopt, DDLogFlagError, 65535);
    logger->setForegroundColor(DDColor{0, 255, 0}, std::nullopt, "green");
    log(DDLogFlagError, "exact");
    log(DDLogFlagError, "any", 3);
    DDLog::queueLogMessage(DDLogMessage("tagged", 31, DDLogFlagError, 65535, __FILE__, __func__, __LINE__, "green"),
                           true);
    EXPECT_EQ(withoutPrefix(output()), "\033[38;5;21mexact\n\033[0m"
                                       "\033[38;5;166many\n\033[0m"
                                       "\033[38;5;46mtagged\n\033[0m");
}

}
}
