#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDTTYLogger.h"
#include "support/TestHome.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace tvi {
namespace {

using namespace std::chrono_literals;

// Keeps what it receives; optionally holds the first line until released.
class RecordingLogger : public DDAbstractLogger {
public:
    explicit RecordingLogger(bool stallFirst = false) : DDAbstractLogger("test.recorder"), stall_(stallFirst) {}

    void logMessage(const DDLogMessage& message) override
    {
        std::unique_lock lock(mutex_);
        messages_.push_back(message);
        onOwnQueue_.push_back(isOnInternalLoggerQueue());
        cv_.wait(lock, [this] { return !stall_; });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        stall_ = false;
        cv_.notify_all();
    }
    std::vector<DDLogMessage> messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> result;
        for (const auto& message : messages()) result.push_back(message.logMsg());
        return result;
    }
    std::vector<bool> onOwnQueue()
    {
        std::lock_guard lock(mutex_);
        return onOwnQueue_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stall_;
    std::vector<DDLogMessage> messages_;
    std::vector<bool> onOwnQueue_;
};

class SlowLogger : public DDAbstractLogger {
public:
    SlowLogger() : DDAbstractLogger("test.slow") {}
    void logMessage(const DDLogMessage&) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
};

void logInfo(const char* text, std::int32_t flag = DDLogFlagInfo)
{
    DDLog::log(true, DDLogLevelVerbose, flag, 65535, __FILE__, __func__, __LINE__, "%@", text);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string readAvailable(int fd)
{
    std::string result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) result.append(buffer, std::size_t(n));
    return result;
}

class DDLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DDLog::removeAllLoggers();
        DDLog::flushLog();
    }
    void TearDown() override
    {
        DDLog::removeAllLoggers();
        DDLog::flushLog();
        DDLog::setAssumedProcessorCount(0);
    }
};

TEST_F(DDLogTest, TheThousandAndFirstLineBlocksItsCallerUntilOneIsDelivered)
{
    auto stalled = std::make_shared<RecordingLogger>(true);
    DDLog::addLogger(stalled);
    std::atomic<int> queued{0};
    std::atomic<pid_t> producerId{0};
    std::thread producer([&] {
        producerId = test::currentThreadId();
        for (int i = 0; i < 1001; ++i) {
            logInfo("line");
            ++queued;
        }
    });
    for (int i = 0; i < 500 && queued.load() < 1000; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(test::waitUntilBlocked(producerId));
    EXPECT_EQ(queued.load(), 1000) << "the first line is in delivery, 999 wait, the next caller blocks";

    stalled->release();
    producer.join();
    DDLog::flushLog();
    EXPECT_EQ(stalled->messages().size(), 1001u);
}

TEST_F(DDLogTest, LinesBeforeAnyLoggerReachNoneAndAreNotReplayed)
{
    logInfo("early");
    auto recorder = std::make_shared<RecordingLogger>();
    DDLog::addLogger(recorder);
    logInfo("late");
    DDLog::flushLog();
    EXPECT_EQ(recorder->texts(), std::vector<std::string>{"late"});
}

TEST_F(DDLogTest, LinesAndRegistrationsKeepTheOrderOfTheirCallsWhileTheQueueIsBusy)
{
    auto stalled = std::make_shared<RecordingLogger>(true);
    DDLog::addLogger(stalled);
    logInfo("a"); // in delivery, held by the stalled logger
    for (int i = 0; i < 50 && stalled->messages().empty(); ++i) std::this_thread::sleep_for(10ms);
    logInfo("b"); // waits behind it
    auto late = std::make_shared<RecordingLogger>();
    DDLog::addLogger(late);
    logInfo("c");
    stalled->release();
    DDLog::flushLog();
    EXPECT_EQ(stalled->texts(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(late->texts(), std::vector<std::string>{"c"});
}

TEST_F(DDLogTest, LevelsFilterFlagsAndEachLoggerRunsOnItsOwnQueue)
{
    for (unsigned processors : {0u, 1u}) { // the concurrent path and the one-processor path
        SCOPED_TRACE(processors);
        DDLog::setAssumedProcessorCount(processors);
        auto verbose = std::make_shared<RecordingLogger>();
        auto warnings = std::make_shared<RecordingLogger>();
        DDLog::addLogger(verbose);
        DDLog::addLogger(warnings, DDLogLevelWarning);
        for (std::int32_t flag : {1, 2, 4, 8, 16}) logInfo(std::to_string(flag).c_str(), flag);
        DDLog::flushLog();
        EXPECT_EQ(verbose->texts(), (std::vector<std::string>{"1", "2", "4", "8", "16"}));
        EXPECT_EQ(warnings->texts(), (std::vector<std::string>{"1", "2"}));
        for (bool onOwn : verbose->onOwnQueue()) EXPECT_TRUE(onOwn);
        DDLog::removeAllLoggers();
    }
}

TEST_F(DDLogTest, EveryFlagReachesTheConsoleAndTheFileAtLevelVerbose)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK), 0);
    auto console = std::make_shared<DDTTYLogger>(pipeFds[1], DDTTYLogger::Environment{});
    auto manager = std::make_shared<DDLogFileManagerDefault>(test::makeTempDir("flags"));
    auto file = std::make_shared<DDFileLogger>(manager);
    DDLog::addLogger(console);
    DDLog::addLogger(file);
    for (std::int32_t flag : {1, 2, 4, 8, 16}) logInfo(("flag " + std::to_string(flag)).c_str(), flag);
    DDLog::flushLog();

    const std::string consoleText = readAvailable(pipeFds[0]);
    const auto paths = manager->sortedLogFilePaths();
    ASSERT_EQ(paths.size(), 1u);
    const std::string fileText = readFile(paths[0]);
    for (int flag : {1, 2, 4, 8, 16}) {
        const std::string line = "flag " + std::to_string(flag) + "\n";
        EXPECT_NE(consoleText.find(line), std::string::npos) << line;
        EXPECT_NE(fileText.find(line), std::string::npos) << line;
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST_F(DDLogTest, TheMacrosStampSourceThreadAndQueue)
{
    auto recorder = std::make_shared<RecordingLogger>();
    DDLog::addLogger(recorder);
    auto queue = DispatchQueue::createSerial("test.caller");
    std::uint32_t callerThread = 0;
    queue->sync([&] {
        callerThread = static_cast<std::uint32_t>(gettid());
        DDLogWarn("%@: => initLogging %d", 7);
    });
    DDLogError("%@: plain");
    DDLog::flushLog();

    const auto messages = recorder->messages();
    ASSERT_EQ(messages.size(), 2u);
    const DDLogMessage& first = messages[0];
    EXPECT_EQ(first.logMsg(), "DDLogTest: => initLogging 7");
    EXPECT_EQ(first.logFlag(), DDLogFlagWarning);
    EXPECT_EQ(first.logLevel(), 31);
    EXPECT_EQ(first.logContext(), 65535);
    EXPECT_EQ(first.fileName(), "DDLogTest");
    EXPECT_EQ(first.methodName(), "operator()");
    EXPECT_EQ(first.queueLabel(), "test.caller");
    EXPECT_EQ(first.machThreadID(), callerThread);
    EXPECT_EQ(messages[1].queueLabel(), "");
    EXPECT_EQ(messages[1].machThreadID(), static_cast<std::uint32_t>(gettid()));
    EXPECT_EQ(messages[1].logFlag(), DDLogFlagError);
}

TEST_F(DDLogTest, SynchronousLoggingReturnsAfterDelivery)
{
    auto recorder = std::make_shared<RecordingLogger>();
    DDLog::addLogger(recorder);
    DDLog::flushLog();
    DDLog::log(false, DDLogLevelVerbose, DDLogFlagInfo, 0, __FILE__, __func__, __LINE__, "now");
    EXPECT_EQ(recorder->texts(), std::vector<std::string>{"now"});
    DDLog::log(false, DDLogLevelVerbose, DDLogFlagInfo, 0, __FILE__, __func__, __LINE__, nullptr);
    EXPECT_EQ(recorder->texts().size(), 1u) << "a null format logs nothing";
}

// The child logs and exits at once; the at-exit flush must get the queued lines to the file.
TEST(DDLogExitTest, QueuedLinesReachTheFileBeforeANormalExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* inherited = std::getenv("TVI_TEST_EXIT_LOG_DIR");
    const std::string directory = inherited ? inherited : test::makeTempDir("atexit");
    ::setenv("TVI_TEST_EXIT_LOG_DIR", directory.c_str(), 1);

    EXPECT_EXIT(
        {
            auto manager = std::make_shared<DDLogFileManagerDefault>(directory);
            DDLog::addLogger(std::make_shared<SlowLogger>()); // keeps lines queued at exit
            DDLog::addLogger(std::make_shared<DDFileLogger>(manager));
            for (int i = 0; i < 200; ++i) DDLogInfo("%@: line %d", i);
            std::exit(0); // the child shares the parent's HOME, which the parent removes

        },
        ::testing::ExitedWithCode(0), "");

    DDLogFileManagerDefault manager(directory);
    const auto paths = manager.sortedLogFilePaths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(readFile(paths[0]).find("  DDLogTest: line 199\n"), std::string::npos);
}

}
}
