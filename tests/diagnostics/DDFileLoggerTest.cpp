#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogFileFormatterDefault.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace tvi {
namespace {

using namespace std::chrono_literals;

// Writes the text alone, so that byte counts are exact.
class PlainFormatter : public DDLogFormatter {
public:
    std::optional<std::string> formatLogMessage(const DDLogMessage& message) override { return message.logMsg(); }
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::uint64_t sizeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? std::uint64_t(info.st_size) : 0;
}

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void log(const std::string& text)
{
    DDLog::log(true, DDLogLevelVerbose, DDLogFlagInfo, 65535, __FILE__, __func__, __LINE__, "%@", text);
}

class DDFileLoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DDLog::removeAllLoggers();
        directory_ = test::makeTempDir("logs");
        manager_ = std::make_shared<DDLogFileManagerDefault>(directory_);
    }
    void TearDown() override { DDLog::removeAllLoggers(); }

    std::shared_ptr<DDFileLogger> addFileLogger(bool plain = false)
    {
        auto logger = std::make_shared<DDFileLogger>(manager_);
        if (plain) logger->setLogFormatter(std::make_shared<PlainFormatter>());
        DDLog::addLogger(logger);
        return logger;
    }

    std::vector<DDLogFileInfo> files()
    {
        DDLog::flushLog();
        return manager_->sortedLogFileInfos();
    }

    // Logs probes until the logger has noticed that its file went away and begun a new one.
    std::optional<DDLogFileInfo> probeUntilNewFile(const std::string& probe)
    {
        for (int i = 0; i < 300; ++i) {
            log(probe);
            auto current = files();
            if (!current.empty()) return current.front();
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    // An archived file created some milliseconds after the previous one (creation times must differ).
    std::string archivedFile()
    {
        std::this_thread::sleep_for(15ms);
        DDLogFileInfo info(manager_->createNewLogFile());
        info.setIsArchived(true);
        return info.filePath();
    }

    std::string directory_;
    std::shared_ptr<DDLogFileManagerDefault> manager_;
};

TEST_F(DDFileLoggerTest, FileLineIsLocalTimeTwoSpacesAndTextWithOneNewline)
{
    std::tm local{};
    local.tm_year = 116, local.tm_mon = 2, local.tm_mday = 1, local.tm_hour = 9, local.tm_min = 5,
    local.tm_sec = 17, local.tm_isdst = -1;
    const auto at = std::chrono::system_clock::from_time_t(std::mktime(&local)) + 42ms + 900us;
    DDLogFileFormatterDefault formatter;
    EXPECT_EQ(formatter.formatLogMessage(DDLogMessage("TVISocket: Client Disconnected", 31, 4, 65535, "f.cpp", "f", 1,
                                                      {}, 0, at)),
              "2016/03/01 09:05:17:042  TVISocket: Client Disconnected");

    addFileLogger();
    log("TVISocket: first");
    log("already ended\n");
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    const std::regex lines(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3}  TVISocket: first\n)"
                           R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3}  already ended\n)");
    EXPECT_TRUE(std::regex_match(readFile(written[0].filePath()), lines)) << readFile(written[0].filePath());
}

TEST_F(DDFileLoggerTest, NamesCarryTheUtcMinuteAndAnAttemptNumberWhenTaken)
{
    const auto at = std::chrono::system_clock::from_time_t(1456823117); // 2016-03-01 09:05:17 UTC
    const std::string app = manager_->applicationName();
    EXPECT_EQ(manager_->newLogFileName(1, at), app + " 2016-03-01 09-05.log");
    EXPECT_EQ(manager_->newLogFileName(3, at), app + " 2016-03-01 09-05 3.log");

    std::string first, second, minute;
    for (int tries = 0; tries < 3; ++tries) { // retried if the minute turns in between
        minute = DDLogFileManagerDefault::fileDateString(std::chrono::system_clock::now());
        first = manager_->createNewLogFile();
        second = manager_->createNewLogFile();
        if (minute == DDLogFileManagerDefault::fileDateString(std::chrono::system_clock::now())) break;
    }
    EXPECT_EQ(first, directory_ + "/" + app + " " + minute + ".log");
    EXPECT_EQ(second, directory_ + "/" + app + " " + minute + " 2.log");
    EXPECT_TRUE(std::filesystem::exists(second));
}

TEST_F(DDFileLoggerTest, RecognisesOnlyNamesWithTheAppNameAndAFileDate)
{
    const std::string app = manager_->applicationName();
    EXPECT_TRUE(manager_->isLogFile(app + " 2016-03-01 09-05.log"));
    EXPECT_TRUE(manager_->isLogFile(app + " 2016-03-01 09-05 3.log"));
    EXPECT_FALSE(manager_->isLogFile(app + " notes.log"));
    EXPECT_FALSE(manager_->isLogFile(app + " 2016-03-01.log"));
    EXPECT_FALSE(manager_->isLogFile(app + " 2016-13-01 09-05.log"));
    EXPECT_FALSE(manager_->isLogFile(app + " 2016-03-01 09-05 3 4.log"));
    EXPECT_FALSE(manager_->isLogFile(app + "  2016-03-01 09-05.log"));
    EXPECT_FALSE(manager_->isLogFile(app + " 2016-03-01 09-05.txt"));
    EXPECT_FALSE(manager_->isLogFile("Other 2016-03-01 09-05.log"));
}

TEST_F(DDFileLoggerTest, TheLogFolderAndItsFilesAreTheUsersAloneWhateverWasThereBefore)
{
    // An older version left the folder and the file still being written open to everyone.
    ::chmod(directory_.c_str(), 0755);
    const std::string earlier = directory_ + "/" + manager_->newLogFileName(1, std::chrono::system_clock::now());
    std::ofstream(earlier) << "earlier line\n";
    ::chmod(earlier.c_str(), 0644);
    addFileLogger();
    log("TVISocket: first");
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].filePath(), earlier); // still the current file
    EXPECT_EQ(modeOf(directory_), 0700u);
    EXPECT_EQ(modeOf(earlier), 0600u);

    // Below a Library that everyone may read, a new folder and its files are private at once.
    const std::string library = test::makeTempDir("library");
    ::chmod(library.c_str(), 0755);
    DDLogFileManagerDefault fresh(library + "/Logs/Telvora");
    const std::string file = fresh.createNewLogFile();
    EXPECT_EQ(modeOf(library + "/Logs/Telvora"), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(DDFileLoggerTest, RollsOnceTheFileReachesExactlyOneMebibyte)
{
    addFileLogger(true);
    const std::string line(1023, 'x'); // 1024 bytes with its newline
    for (int i = 0; i < 1023; ++i) log(line);
    log(std::string(1022, 'y')); // 1,048,575 bytes: one short
    auto written = files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(sizeOf(written[0].filePath()), 1048575u);
    EXPECT_FALSE(written[0].isArchived());

    log(""); // the newline alone makes 1,048,576
    written = files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(sizeOf(written[0].filePath()), 1048576u);
    EXPECT_TRUE(written[0].isArchived());

    log("next");
    written = files();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(readFile(written[0].filePath()), "next\n");
}

TEST_F(DDFileLoggerTest, TheLineThatCrossesTheLimitStaysAndRollsTheFile)
{
    auto logger = addFileLogger(true);
    logger->setMaximumFileSize(100);
    EXPECT_EQ(logger->maximumFileSize(), 100u);
    log(std::string(60, 'a'));
    log(std::string(60, 'b'));
    log("c");
    const auto written = files();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(sizeOf(written[1].filePath()), 122u);
    EXPECT_TRUE(written[1].isArchived());
    EXPECT_EQ(readFile(written[0].filePath()), "c\n");
}

TEST_F(DDFileLoggerTest, DeletingTheCurrentFileFromOutsideStartsANewOne)
{
    addFileLogger(true);
    log("before");
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    ASSERT_EQ(::unlink(written[0].filePath().c_str()), 0);

    const auto fresh = probeUntilNewFile("after");
    ASSERT_TRUE(fresh) << "the logger never noticed the deletion";
    const std::string content = readFile(fresh->filePath());
    EXPECT_EQ(content.find("before"), std::string::npos);
    EXPECT_NE(content.find("after\n"), std::string::npos);
}

TEST_F(DDFileLoggerTest, RenamingTheCurrentFileArchivesItAndStartsANewOne)
{
    addFileLogger(true);
    log("before");
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    const std::string moved = directory_ + "/moved.txt";
    ASSERT_EQ(::rename(written[0].filePath().c_str(), moved.c_str()), 0);

    const auto fresh = probeUntilNewFile("after");
    ASSERT_TRUE(fresh) << "the logger never noticed the rename";
    EXPECT_TRUE(DDLogFileInfo(moved).isArchived());
    EXPECT_EQ(readFile(moved).rfind("before\n", 0), 0u);
    EXPECT_EQ(readFile(fresh->filePath()), "after\n");
}

TEST_F(DDFileLoggerTest, LoweringTheMaximumDeletesSurplusArchivedFilesAtOnce)
{
    std::vector<std::string> archived;
    for (int i = 0; i < 5; ++i) archived.push_back(archivedFile());
    manager_->setMaximumNumberOfLogFiles(2);
    auto remaining = files();
    ASSERT_EQ(remaining.size(), 2u);
    EXPECT_EQ(remaining[0].filePath(), archived[4]);
    EXPECT_EQ(remaining[1].filePath(), archived[3]);

    archivedFile();
    manager_->setMaximumNumberOfLogFiles(2); // unchanged: nothing is deleted
    EXPECT_EQ(files().size(), 3u);
}

TEST_F(DDFileLoggerTest, ANewFileKeepsTheCurrentOnePlusTwoArchived)
{
    manager_->setMaximumNumberOfLogFiles(2);
    archivedFile();
    const std::string second = archivedFile();
    const std::string third = archivedFile();
    std::this_thread::sleep_for(15ms);
    auto logger = addFileLogger(true);
    log("line");
    const auto remaining = files();
    ASSERT_EQ(remaining.size(), 3u);
    EXPECT_EQ(readFile(remaining[0].filePath()), "line\n");
    EXPECT_EQ(remaining[1].filePath(), third);
    EXPECT_EQ(remaining[2].filePath(), second);
}

TEST_F(DDFileLoggerTest, AtStartAYoungSmallUnarchivedFileIsAppendedTo)
{
    const std::string existing = manager_->createNewLogFile();
    { std::ofstream(existing) << "old\n"; }
    addFileLogger(true);
    log("new");
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(readFile(existing), "old\nnew\n");
}

TEST_F(DDFileLoggerTest, AtStartATooOldUnarchivedFileIsArchivedAndANewOneBegins)
{
    const std::string existing = manager_->createNewLogFile();
    std::this_thread::sleep_for(60ms);
    auto logger = addFileLogger(true);
    logger->setRollingFrequency(0.05);
    log("new");
    const auto written = files();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].filePath(), existing);
    EXPECT_TRUE(written[1].isArchived());
    EXPECT_EQ(readFile(existing), "");
}

TEST_F(DDFileLoggerTest, TheRollingTimerArchivesAFileThatReachedItsAge)
{
    auto logger = addFileLogger(true);
    logger->setRollingFrequency(0.2);
    log("first");
    const auto first = files();
    ASSERT_EQ(first.size(), 1u);
    bool archived = false;
    for (int i = 0; i < 300 && !archived; ++i) {
        std::this_thread::sleep_for(10ms);
        archived = DDLogFileInfo(first[0].filePath()).isArchived();
    }
    EXPECT_TRUE(archived) << "the timer did not roll the file";
    EXPECT_GE(DDLogFileInfo(first[0].filePath()).age(), 0.2);
    log("second");
    const auto both = files();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(readFile(both[0].filePath()), "second\n");
    EXPECT_EQ(logger->rollingFrequency(), 0.2);
}

TEST_F(DDFileLoggerTest, ArchivedMarkerIsTheUserNamespaceAttribute)
{
    DDLogFileInfo info(manager_->createNewLogFile());
    EXPECT_FALSE(info.isArchived());
    info.setIsArchived(true);
    char value[8];
    EXPECT_EQ(::getxattr(info.filePath().c_str(), "user.lumberjack.log.archived", value, sizeof value), 0);
    info.setIsArchived(false);
    EXPECT_FALSE(info.isArchived());
    info.setIsArchived(false); // absent already: silent, no failure
    EXPECT_FALSE(info.isArchived());
}

}
}
