#include "foundation/NotificationCenter.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tvi {
namespace {

using namespace std::chrono_literals;

TEST(NotificationCenterTest, DeliversByNameAndSenderOnThePostingThread)
{
    NotificationCenter center;
    int sender = 0;
    int other = 0;
    std::vector<std::string> seen;
    std::thread::id handlerThread;
    center.addObserver("ping", nullptr, [&](const Notification& n) {
        seen.push_back("any:" + *n.userInfo.at("text").get<std::string>());
        handlerThread = std::this_thread::get_id();
    });
    center.addObserver("ping", &sender, [&](const Notification&) { seen.push_back("sender"); });
    center.addObserver("", nullptr, [&](const Notification& n) { seen.push_back("all:" + n.name); });

    std::thread poster([&] { center.post("ping", &sender, {{"text", "a"}}); });
    poster.join();
    EXPECT_EQ(seen, (std::vector<std::string>{"any:a", "sender", "all:ping"}));
    EXPECT_NE(handlerThread, std::this_thread::get_id());

    seen.clear();
    center.post("ping", &other, {{"text", "b"}});
    center.post("pong");
    EXPECT_EQ(seen, (std::vector<std::string>{"any:b", "all:ping", "all:pong"}));
}

TEST(NotificationCenterTest, RemovalByTokenAndByOwner)
{
    NotificationCenter center;
    int ownerA = 0;
    int ownerB = 0;
    int calls[3] = {0, 0, 0};
    center.addObserver("n", nullptr, [&](const Notification&) { ++calls[0]; }, &ownerA);
    center.addObserver("m", nullptr, [&](const Notification&) { ++calls[1]; }, &ownerA);
    const auto token = center.addObserver("n", nullptr, [&](const Notification&) { ++calls[2]; }, &ownerB);

    center.removeObserversForOwner(nullptr); // removes nothing
    center.removeObserversForOwner(&ownerA);
    center.post("n");
    center.post("m");
    EXPECT_EQ(calls[0], 0);
    EXPECT_EQ(calls[1], 0);
    EXPECT_EQ(calls[2], 1);

    center.removeObserver(token);
    center.removeObserver(token); // twice is harmless
    center.removeObserver(0);
    center.post("n");
    EXPECT_EQ(calls[2], 1);
}

TEST(NotificationCenterTest, HandlerMayRemoveItselfAndOthers)
{
    NotificationCenter center;
    int selfCalls = 0;
    int laterCalls = 0;
    NotificationCenter::ObserverToken self = 0;
    NotificationCenter::ObserverToken later = 0;
    self = center.addObserver("n", nullptr, [&](const Notification&) {
        ++selfCalls;
        center.removeObserver(self);
        center.removeObserver(later);
        center.addObserver("n", nullptr, [](const Notification&) {}); // adding while posting is fine too
    });
    later = center.addObserver("n", nullptr, [&](const Notification&) { ++laterCalls; });
    center.post("n");
    center.post("n");
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(laterCalls, 0);
}

TEST(NotificationCenterTest, RemovalWaitsForARunningHandler)
{
    NotificationCenter center;
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
    const pid_t remover = test::currentThreadId();
    const auto token = center.addObserver("n", nullptr, [&](const Notification&) {
        entered = true;
        // Finishes only once the removal waits (or, wrongly, has returned and the test waits for the join).
        EXPECT_TRUE(test::waitUntilBlocked(remover));
        finished = true;
    });
    std::thread poster([&] { center.post("n"); });
    while (!entered) std::this_thread::yield();
    center.removeObserver(token);
    EXPECT_TRUE(finished);
    poster.join();
}

TEST(NotificationCenterTest, HandlersOnTwoThreadsRemovingEachOtherDoNotDeadlock)
{
    for (int round = 0; round < 50; ++round) {
        NotificationCenter center;
        std::atomic<int> arrived{0};
        NotificationCenter::ObserverToken a = 0;
        NotificationCenter::ObserverToken b = 0;
        auto meetThenRemove = [&](NotificationCenter::ObserverToken* victim) {
            return [&, victim](const Notification&) {
                ++arrived;
                while (arrived < 2) std::this_thread::yield();
                center.removeObserver(*victim);
            };
        };
        a = center.addObserver("a", nullptr, meetThenRemove(&b));
        b = center.addObserver("b", nullptr, meetThenRemove(&a));
        std::thread first([&] { center.post("a"); });
        std::thread second([&] { center.post("b"); });
        first.join();
        second.join();
    }
}

// Observers come and go on one thread while others post: a removed observer must never
// run once removeObserver has returned.
TEST(NotificationCenterTest, ObserverRemovedWhilePostingIsNeverCalledAfterwards)
{
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::atomic<int> lateCalls{0};
    std::atomic<long> delivered{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < 2; ++i)
        posters.emplace_back([&] {
            while (!stop) {
                center.post("tick");
                std::this_thread::yield();
            }
        });

    for (int round = 0; round < 200; ++round) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto called = std::make_shared<std::atomic<bool>>(false);
        const auto token = center.addObserver("tick", nullptr, [removed, called, &lateCalls, &delivered](const Notification&) {
            *called = true;
            ++delivered;
            std::this_thread::yield(); // widens the window in which a removal can race this call
            if (*removed) ++lateCalls;
        }, &center);
        while (!*called) std::this_thread::yield();
        if (round % 2) center.removeObserver(token);
        else center.removeObserversForOwner(&center);
        *removed = true;
    }
    stop = true;
    for (auto& poster : posters) poster.join();
    EXPECT_EQ(lateCalls, 0);
    EXPECT_GE(delivered, 200);
}

}
}
