#include "foundation/DispatchQueue.h"
#include "foundation/DispatchSemaphore.h"
#include "foundation/MainRunLoop.h"
#include "support/DrainMainQueue.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tvi {
namespace {

// Returns once a task queued now on another queue has run: main-queue tasks served anywhere
// but in run() would have had the same chance to run by then.
void letOtherQueuesRun()
{
    DispatchSemaphore ran(0);
    DispatchQueue::createSerial("witness")->async([&] { ran.signal(); });
    EXPECT_TRUE(ran.waitFor(10s));
}

// Runs the main loop on this thread until stop(), with a safety stop so that a
// broken loop fails the test instead of hanging it.
void runMainLoop() { test::runMainLoopAtMost(10s, "the main loop did not stop"); }

TEST(MainRunLoopTest, TasksQueuedBeforeRunWaitAndRunInOrderOnTheMainQueue)
{
    auto main = DispatchQueue::main();
    std::vector<int> order;
    bool onMain = true;
    std::atomic<bool> ranEarly{false};
    for (int i = 0; i < 5; ++i) {
        main->async([&, i] {
            order.push_back(i);
            onMain = onMain && main->isCurrent() && DispatchQueue::current() == main.get();
        });
    }
    letOtherQueuesRun();
    ranEarly = !order.empty();
    main->async([] { MainRunLoop::shared().stop(); });
    runMainLoop();

    EXPECT_FALSE(ranEarly);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(onMain);
    EXPECT_FALSE(main->isCurrent());
}

TEST(MainRunLoopTest, StopFromAnotherThreadEndsRunAndLaterTasksWaitForTheNextRun)
{
    std::thread stopper([loop = test::currentThreadId()] {
        EXPECT_TRUE(test::waitUntilBlocked(loop)); // waiting in run()
        MainRunLoop::shared().stop();
    });
    runMainLoop();
    stopper.join();

    // A stop that reaches the loop before it runs is not lost: run() returns at once.
    std::atomic<int> ran{0};
    MainRunLoop::shared().stop();
    DispatchQueue::main()->async([&] { ++ran; });
    runMainLoop();

    letOtherQueuesRun();
    EXPECT_EQ(ran, 0);
    DispatchQueue::main()->async([&] {
        ++ran;
        MainRunLoop::shared().stop();
    });
    runMainLoop();
    EXPECT_EQ(ran, 2);
}

TEST(MainRunLoopTest, RestartDiscardsAPendingStop)
{
    MainRunLoop::shared().stop();
    MainRunLoop::shared().restart();
    bool ran = false;
    DispatchQueue::main()->async([&] {
        ran = true;
        MainRunLoop::shared().stop();
    });
    runMainLoop();
    EXPECT_TRUE(ran);
}

TEST(MainRunLoopTest, SocketQueueSyncsOntoTheMainQueue)
{
    auto socketQueue = DispatchQueue::createSerial("socketQueue");
    std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool sawMain = false;
    int results = 0;
    socketQueue->async([&] {
        for (int i = 0; i < 50; ++i) {
            DispatchQueue::main()->sync([&] {
                ranOn = std::this_thread::get_id();
                sawMain = DispatchQueue::main()->isCurrent();
                ++results;
            });
        }
        DispatchQueue::main()->async([] { MainRunLoop::shared().stop(); });
    });
    runMainLoop();
    EXPECT_EQ(results, 50);
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_TRUE(sawMain);
}

TEST(MainRunLoopTest, AfterOnTheMainQueueKeepsDeadlineOrder)
{
    auto main = DispatchQueue::main();
    std::vector<int> order;
    main->after(80ms, [&] {
        order.push_back(3);
        MainRunLoop::shared().stop();
    });
    main->after(40ms, [&] { order.push_back(2); });
    main->async([&] { order.push_back(1); });
    runMainLoop();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MainRunLoopDeathTest, SyncOntoTheMainQueueFromAMainTaskAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchQueue::main()->async([] { DispatchQueue::main()->sync([] {}); });
            MainRunLoop::shared().run();
        },
        "sync onto queue \"com.apple.main-thread\"");
}

}
}
