#include "foundation/DispatchQueue.h"
#include "foundation/DispatchSemaphore.h"
#include "foundation/DispatchTimer.h"
#include "foundation/MainRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace tvi {
namespace {

constexpr auto patience = 10s;

// Returns once a repeating timer of the given period on the queue has fired `ticks` times: by
// then a timer of that period on that queue that ought to stay silent has had as many chances.
void letTimersFire(const DispatchQueuePtr& queue, std::chrono::milliseconds period, int ticks)
{
    std::atomic<int> count{0};
    DispatchSemaphore done(0);
    auto witness = DispatchTimer::scheduled(queue, period, true, [&] {
        if (++count == ticks)
            done.signal();
    });
    EXPECT_TRUE(done.waitFor(patience));
    witness->invalidate();
}

TEST(DispatchTimerTest, OneShotFiresOnceOnItsQueueAndThenIsInvalid)
{
    auto queue = DispatchQueue::createSerial("timerQueue");
    std::atomic<int> fired{0};
    std::atomic<bool> onQueue{false};
    DispatchSemaphore done(0);
    auto timer = DispatchTimer::scheduled(queue, 10ms, false, [&] {
        onQueue = queue->isCurrent();
        ++fired;
        done.signal();
    });
    EXPECT_TRUE(timer->isValid());
    ASSERT_TRUE(done.waitFor(patience));
    letTimersFire(queue, 10ms, 4);
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(onQueue);
    EXPECT_FALSE(timer->isValid());
    timer->invalidate();  // harmless once fired
}

TEST(DispatchTimerTest, OneShotFiresEvenWhenTheCallerDropsIt)
{
    DispatchSemaphore done(0);
    DispatchTimer::scheduled(DispatchQueue::createSerial("dropped"), 5ms, false, [&] { done.signal(); });
    EXPECT_TRUE(done.waitFor(patience));
}

TEST(DispatchTimerTest, RepeatingFiresUntilInvalidatedThenReleasesItsHandler)
{
    auto queue = DispatchQueue::createSerial("repeating");
    std::atomic<int> fired{0};
    DispatchSemaphore tick(0);
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    auto timer = DispatchTimer::scheduled(queue, 2ms, true, [&, token] {
        ++fired;
        tick.signal();
    });
    token.reset();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(tick.waitFor(patience));
    timer->invalidate();
    const int atInvalidate = fired;
    letTimersFire(queue, 2ms, 15);
    EXPECT_EQ(fired, atInvalidate);
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(watch.expired()) << "the handler (and what it captures) outlives invalidate()";
}

TEST(DispatchTimerTest, HandlerInvalidatesItsOwnTimer)
{
    auto queue = DispatchQueue::createSerial("selfStopping");
    std::atomic<int> fired{0};
    DispatchSemaphore third(0);
    DispatchTimerPtr timer;
    queue->sync([&] {
        // Scheduled from the queue so the first firing cannot see an unset pointer.
        timer = DispatchTimer::scheduled(queue, 1ms, true, [&] {
            if (++fired == 3) {
                timer->invalidate();
                EXPECT_FALSE(timer->isValid());
                third.signal();
            }
        });
    });
    ASSERT_TRUE(third.waitFor(patience));
    letTimersFire(queue, 1ms, 20);
    EXPECT_EQ(fired, 3);
}

TEST(DispatchTimerTest, InvalidateFromAnotherTaskOfTheTimersQueueDoesNotDeadlock)
{
    auto queue = DispatchQueue::createSerial("ownQueue");
    std::atomic<int> fired{0};
    auto timer = DispatchTimer::scheduled(queue, 1ms, true, [&] { ++fired; });
    for (int i = 0; i < 5000 && fired < 2; ++i)
        std::this_thread::sleep_for(1ms);
    queue->sync([&] { timer->invalidate(); });
    const int atInvalidate = fired;
    EXPECT_GE(atInvalidate, 2);
    letTimersFire(queue, 1ms, 20);
    EXPECT_EQ(fired, atInvalidate);
}

// The race: a firing has passed the validity check when invalidate() runs on another
// thread. invalidate() must not return before such a handler has finished.
TEST(DispatchTimerTest, NoHandlerStartsOrRunsAfterInvalidateReturnsOnAnotherThread)
{
    std::atomic<int> violations{0};
    std::atomic<int> firings{0};
    for (int round = 0; round < 150; ++round) {
        auto queue = DispatchQueue::createSerial("race");
        auto invalidated = std::make_shared<std::atomic<bool>>(false);
        auto timer = DispatchTimer::scheduled(queue, 100us, round % 2 == 0, [&, invalidated] {
            if (*invalidated)
                ++violations;
            ++firings;
            std::this_thread::sleep_for(50us);
            if (*invalidated)
                ++violations;
        });
        std::this_thread::sleep_for(std::chrono::microseconds(50 + (round % 7) * 60));
        timer->invalidate();
        *invalidated = true;
        queue->sync([] {});  // let any stray firing reach the queue
    }
    EXPECT_EQ(violations, 0);
    EXPECT_GT(firings, 0);
}

TEST(DispatchTimerTest, TimerOnTheMainQueueFiresOnTheMainThread)
{
    std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id firedOn;
    auto timer = DispatchTimer::scheduled(DispatchQueue::main(), 5ms, false, [&] {
        firedOn = std::this_thread::get_id();
        MainRunLoop::shared().stop();
    });
    MainRunLoop::shared().run();
    EXPECT_EQ(firedOn, mainThread);
}

}
}
