// The desktop main loop on Qt's offscreen platform (no display needed).
#include "app/TVIAppRunner.h"
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "platform/linux/QtMainRunLoop.h"
#include "support/DrainMainQueue.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tvi {
namespace {

// Each test runs in a process of its own: creates the QApplication and installs the loop.
void installQtLoop()
{
    static int argc = 1;
    static char name[] = "QtMainRunLoopTest";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static std::unique_ptr<QApplication> application = QtMainRunLoop::installWithApplication(argc, argv);
}

// Runs the main loop with a safety stop, so that a broken loop fails instead of hanging.
void runMainLoop() { test::runMainLoopAtMost(5s, "the main loop did not stop"); }

void stopLoop() { MainRunLoop::shared().stop(); }

TEST(QtMainRunLoopTest, TasksPostedBeforeTheQtLoopWasInstalledRunInOrderOnIt)
{
    std::vector<std::string> order;
    auto main = DispatchQueue::main();
    main->async([&] { order.push_back("early"); });
    main->after(30ms, [&] {
        order.push_back("early, delayed");
        stopLoop();
    });
    installQtLoop();
    ASSERT_NE(dynamic_cast<QtMainRunLoop*>(&MainRunLoop::shared()), nullptr);
    main->async([&] { order.push_back("late"); });
    runMainLoop();
    EXPECT_EQ(order, (std::vector<std::string>{"early", "late", "early, delayed"}));
}

TEST(QtMainRunLoopTest, AStopBeforeRunMakesItReturnAtOnceAndTheNextRunServes)
{
    installQtLoop();
    bool ran = false;
    DispatchQueue::main()->async([&] {
        ran = true;
        stopLoop();
    });
    stopLoop();
    runMainLoop();
    EXPECT_FALSE(ran);
    runMainLoop();
    EXPECT_TRUE(ran);
}

TEST(QtMainRunLoopTest, TasksPostedFromAnotherThreadRunInOrderOnTheMainThread)
{
    installQtLoop();
    const auto mainThread = std::this_thread::get_id();
    std::vector<int> order;
    bool allOnMain = true;
    std::thread poster([&] {
        for (int i = 0; i < 200; ++i)
            DispatchQueue::main()->async([&, i] {
                order.push_back(i);
                allOnMain &= std::this_thread::get_id() == mainThread;
            });
        DispatchQueue::main()->async(stopLoop);
    });
    runMainLoop();
    poster.join();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnMain);
}

// A modal alert runs a nested event loop inside its task: Qt's events go on, but no other
// main-queue task may start before the alert's task has ended.
TEST(QtMainRunLoopTest, NoTaskRunsInsideARunningTasksNestedEventLoop)
{
    installQtLoop();
    std::vector<std::string> order;
    bool nestedLoopRan = false;
    DispatchQueue::main()->async([&] {
        order.push_back("alert shown");
        DispatchQueue::main()->async([&] { order.push_back("queued during the alert"); });
        DispatchQueue::main()->after(1ms, [&] { order.push_back("due during the alert"); });
        std::thread([] { DispatchQueue::main()->async([] {}); }).join();
        QEventLoop nested;
        QTimer::singleShot(100, &nested, [&] {
            nestedLoopRan = true;
            nested.quit();
        });
        nested.exec();
        order.push_back("alert dismissed");
    });
    DispatchQueue::main()->after(200ms, stopLoop);
    runMainLoop();
    EXPECT_TRUE(nestedLoopRan);
    EXPECT_EQ(order, (std::vector<std::string>{"alert shown", "alert dismissed", "queued during the alert",
                                               "due during the alert"}));
}

// A stop asked for inside a nested loop ends run() once the task is over; nothing else runs.
TEST(QtMainRunLoopTest, AStopDuringANestedLoopEndsRunAfterTheTask)
{
    installQtLoop();
    bool laterTaskRan = false;
    DispatchQueue::main()->async([&] {
        DispatchQueue::main()->async([&] { laterTaskRan = true; });
        QEventLoop nested;
        QTimer::singleShot(20, &nested, [&] {
            stopLoop();
            QTimer::singleShot(20, &nested, &QEventLoop::quit);
        });
        nested.exec();
    });
    runMainLoop();
    EXPECT_FALSE(laterTaskRan);
}

TEST(QtMainRunLoopTest, QtOptionsAreNoUsageErrorAndTheirValuesAreSkipped)
{
    const char* args[] = {"Telvora", "-platform", "offscreen", "--session", "--headless", "-reverse",
                          "--qmljsdebugger=port:1234", "--bogus", "-style"};
    char* argv[std::size(args)];
    for (std::size_t i = 0; i < std::size(args); ++i) argv[i] = const_cast<char*>(args[i]);
    const auto options = TVIAppRunner::parse(int(std::size(args)), argv, &QtMainRunLoop::toolkitOptionValueCount);
    EXPECT_FALSE(options.headless); // "--headless" was the session's value
    EXPECT_EQ(options.unknown, "--bogus");
    EXPECT_EQ(TVIAppRunner::parse(3, argv, nullptr).unknown, "-platform"); // headless-only builds know none
}

}
}
