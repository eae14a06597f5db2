#include "foundation/DispatchGroup.h"
#include "foundation/DispatchQueue.h"
#include "foundation/DispatchSemaphore.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tvi {
namespace {

constexpr auto patience = 10s;

// Waits until every slot holds the id of a thread (set by a task as it starts) and each of
// those threads blocks.
void waitUntilAllBlocked(const std::vector<std::atomic<pid_t>>& threads)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (const auto& thread : threads) {
        while (thread == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_NE(thread, 0) << "a task never started";
        ASSERT_TRUE(test::waitUntilBlocked(thread));
    }
}

TEST(DispatchQueueTest, ManyProducersLoseNothingAndKeepEachProducersOrder)
{
    auto queue = DispatchQueue::createSerial("producers");
    constexpr int producers = 8;
    constexpr int perProducer = 2000;
    std::vector<std::vector<int>> seen(producers);  // touched only by the queue's tasks
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};

    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i) {
                queue->async([&, p, i] {
                    if (inside.fetch_add(1) != 0)
                        overlapped = true;
                    seen[p].push_back(i);
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : threads)
        t.join();
    queue->sync([] {});

    EXPECT_FALSE(overlapped);
    for (int p = 0; p < producers; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<size_t>(perProducer)) << "producer " << p;
        for (int i = 0; i < perProducer; ++i)
            ASSERT_EQ(seen[p][i], i) << "producer " << p;
    }
}

TEST(DispatchQueueTest, AsyncAndSyncTasksInterleaveInSubmissionOrderWithoutOverlap)
{
    auto queue = DispatchQueue::createSerial("mixed");
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    auto record = [&](int value) {
        if (inside.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::yield();
        order.push_back(value);
        inside.fetch_sub(1);
    };
    std::thread other([&] {
        for (int i = 0; i < 500; ++i)
            queue->async([&] { record(-1); });
    });
    for (int i = 0; i < 200; ++i) {
        queue->async([&, i] { record(2 * i); });
        queue->sync([&, i] { record(2 * i + 1); });
    }
    other.join();
    queue->sync([] {});

    EXPECT_FALSE(overlapped);
    std::vector<int> mine;
    for (int v : order)
        if (v >= 0)
            mine.push_back(v);
    ASSERT_EQ(mine.size(), 400u);
    for (int i = 0; i < 400; ++i)
        EXPECT_EQ(mine[i], i);
}

TEST(DispatchQueueTest, CurrentNamesTheRunningQueueIncludingDuringSync)
{
    auto a = DispatchQueue::createSerial("A");
    auto b = DispatchQueue::createSerial("B");
    EXPECT_EQ(DispatchQueue::current(), nullptr);
    EXPECT_FALSE(a->isCurrent());

    DispatchQueue* inA = nullptr;
    DispatchQueue* inB = nullptr;
    DispatchQueue* backInA = nullptr;
    bool bSawA = true;
    a->sync([&] {
        inA = DispatchQueue::current();
        b->sync([&] {
            inB = DispatchQueue::current();
            bSawA = a->isCurrent();
        });
        backInA = DispatchQueue::current();
    });
    EXPECT_EQ(inA, a.get());
    EXPECT_EQ(inB, b.get());
    EXPECT_FALSE(bSawA);
    EXPECT_EQ(backInA, a.get());
    EXPECT_EQ(DispatchQueue::current(), nullptr);

    DispatchSemaphore done(0);
    bool asyncSawA = false;
    a->async([&] {
        asyncSawA = a->isCurrent() && !b->isCurrent();
        done.signal();
    });
    ASSERT_TRUE(done.waitFor(patience));
    EXPECT_TRUE(asyncSawA);
}

TEST(DispatchQueueTest, SyncOntoAnotherQueueWaitsForItsEarlierWork)
{
    auto socketQueue = DispatchQueue::createSerial("socketQueue");
    auto target = DispatchQueue::createSerial("target");
    std::atomic<bool> release{false};
    std::vector<int> order;
    target->async([&] {
        while (!release)
            std::this_thread::yield();
        order.push_back(1);
    });
    target->async([&] { order.push_back(2); });

    DispatchSemaphore done(0);
    std::vector<std::atomic<pid_t>> syncing(1);
    socketQueue->async([&] {
        syncing[0] = test::currentThreadId();
        target->sync([&] { order.push_back(3); });
        order.push_back(4);  // the target's tasks are finished by now
        done.signal();
    });
    waitUntilAllBlocked(syncing);
    release = true;
    ASSERT_TRUE(done.waitFor(patience));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(DispatchQueueTest, ExceptionsNeitherStallTheQueueNorGetLostInSync)
{
    auto queue = DispatchQueue::createSerial("throwing");
    queue->async([] { throw std::runtime_error("async failure"); });
    EXPECT_THROW(queue->sync([] { throw std::runtime_error("sync failure"); }), std::runtime_error);

    DispatchSemaphore done(0);
    queue->async([&] { done.signal(); });
    EXPECT_TRUE(done.waitFor(patience));
    int value = 0;
    queue->sync([&] { value = 7; });
    EXPECT_EQ(value, 7);
}

TEST(DispatchQueueTest, QueuedWorkRunsAfterTheLastOwnerLetsGo)
{
    DispatchSemaphore done(0);
    std::atomic<int> ran{0};
    {
        auto queue = DispatchQueue::createSerial("orphan");
        for (int i = 0; i < 100; ++i)
            queue->async([&] { ++ran; });
        queue->after(20ms, [&] { done.signal(); });
    }
    ASSERT_TRUE(done.waitFor(patience));
    EXPECT_EQ(ran, 100);
}

TEST(DispatchQueueTest, AfterRunsNoEarlierThanAskedAndInDeadlineOrder)
{
    auto queue = DispatchQueue::createSerial("delays");
    std::vector<int> order;
    DispatchSemaphore done(0);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration firstAt{};
    queue->after(120ms, [&] {
        order.push_back(3);
        done.signal();
    });
    queue->after(10ms, [&] {
        firstAt = std::chrono::steady_clock::now() - start;
        order.push_back(1);
    });
    queue->after(60ms, [&] { order.push_back(2); });
    ASSERT_TRUE(done.waitFor(patience));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_GE(firstAt, 10ms);
}

// Many queues whose tasks block at once (a logging queue waiting for its loggers,
// a socket queue in sync) outnumber the initial workers; the work they wait for must
// still be served.
TEST(DispatchQueueTest, BlockedTasksDoNotStarveTheWorkTheyWaitFor)
{
    constexpr int waiters = 12;
    std::vector<DispatchQueuePtr> loggingQueues;
    std::vector<DispatchQueuePtr> loggerQueues;
    for (int i = 0; i < waiters; ++i) {
        loggingQueues.push_back(DispatchQueue::createSerial("logging" + std::to_string(i)));
        loggerQueues.push_back(DispatchQueue::createSerial("logger" + std::to_string(i)));
    }
    DispatchSemaphore gate(0);
    std::atomic<int> written{0};
    DispatchGroup all;
    std::vector<std::atomic<pid_t>> blocked(2 * waiters);
    for (int i = 0; i < waiters; ++i) {
        all.async(*loggingQueues[i], [&, i] {
            blocked[2 * i] = test::currentThreadId();
            DispatchGroup loggers;
            loggers.async(*loggerQueues[i], [&, i] {
                blocked[2 * i + 1] = test::currentThreadId();
                gate.wait();  // released only after every waiter is blocked
                ++written;
            });
            loggers.wait();
        });
    }
    waitUntilAllBlocked(blocked);
    for (int i = 0; i < waiters; ++i)
        gate.signal();
    EXPECT_TRUE(all.waitFor(patience));
    EXPECT_EQ(written, waiters);

    // The same with sync: every queue waits for one shared queue that is busy.
    auto shared = DispatchQueue::createSerial("shared");
    std::atomic<bool> release{false};
    shared->async([&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    std::atomic<int> synced{0};
    DispatchGroup syncing;
    std::vector<std::atomic<pid_t>> inSync(waiters);
    for (int i = 0; i < waiters; ++i)
        syncing.async(*loggingQueues[i], [&, i] {
            inSync[i] = test::currentThreadId();
            shared->sync([&] { ++synced; });
        });
    waitUntilAllBlocked(inSync);
    release = true;
    EXPECT_TRUE(syncing.waitFor(patience));
    EXPECT_EQ(synced, waiters);
}

TEST(DispatchQueueDeathTest, SyncOntoTheRunningQueueAbortsNamingIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::createSerial("socketQueue");
            queue->sync([&] { queue->sync([] {}); });
        },
        "sync onto queue \"socketQueue\"");
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::createSerial("loopedQueue");
            DispatchSemaphore never(0);
            queue->async([&] { queue->sync([] {}); });
            never.wait();
        },
        "loopedQueue");
    // Through another queue: A runs B's task inline, which syncs back onto A.
    EXPECT_DEATH(
        {
            auto a = DispatchQueue::createSerial("outerQueue");
            auto b = DispatchQueue::createSerial("innerQueue");
            a->sync([&] { b->sync([&] { a->sync([] {}); }); });
        },
        "outerQueue");
}

}
}
