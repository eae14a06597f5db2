#include "foundation/DispatchGroup.h"
#include "foundation/DispatchSemaphore.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tvi {
namespace {

TEST(DispatchGroupTest, WaitReturnsOnlyAfterEveryTaskOnEveryQueueFinished)
{
    std::vector<DispatchQueuePtr> queues;
    for (int i = 0; i < 4; ++i)
        queues.push_back(DispatchQueue::createSerial("logger" + std::to_string(i)));
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> finished{0};
        DispatchGroup group;
        for (auto& queue : queues) {
            group.async(*queue, [&] {
                std::this_thread::yield();
                ++finished;
            });
        }
        group.wait();
        ASSERT_EQ(finished, 4) << "round " << round;
    }
}

TEST(DispatchGroupTest, WaitForTimesOutWhileWorkIsOutstanding)
{
    DispatchGroup group;
    EXPECT_TRUE(group.waitFor(0ms));  // nothing entered

    DispatchSemaphore gate(0);
    auto queue = DispatchQueue::createSerial("slow");
    group.async(*queue, [&] { gate.wait(); });
    group.enter();
    EXPECT_FALSE(group.waitFor(20ms));
    gate.signal();
    EXPECT_FALSE(group.waitFor(20ms));  // the manual enter is still open
    std::thread leaver([&, waiter = test::currentThreadId()] {
        EXPECT_TRUE(test::waitUntilBlocked(waiter)); // in waitFor
        group.leave();
    });
    EXPECT_TRUE(group.waitFor(10s));
    leaver.join();
}

TEST(DispatchGroupTest, ATaskThatThrowsStillLeavesTheGroup)
{
    DispatchGroup group;
    auto queue = DispatchQueue::createSerial("throwing");
    group.async(*queue, [] { throw 42; });
    EXPECT_TRUE(group.waitFor(10s));
}

TEST(DispatchGroupDeathTest, LeaveWithoutEnterAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchGroup group;
            group.leave();
        },
        "without a matching enter");
}

TEST(DispatchSemaphoreTest, CountsSignalsAndTimesOut)
{
    DispatchSemaphore semaphore(2);
    EXPECT_TRUE(semaphore.waitFor(0ms));
    semaphore.wait();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(semaphore.waitFor(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

    std::thread signaller([&, waiter = test::currentThreadId()] {
        EXPECT_TRUE(test::waitUntilBlocked(waiter)); // in waitFor
        semaphore.signal();
    });
    EXPECT_TRUE(semaphore.waitFor(10s));
    signaller.join();
    EXPECT_FALSE(semaphore.waitFor(1ms));
}

}
}
