#include "platform/DistributedNotifications.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryDistributedNotifications.h"

#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"

#include "support/DrainMainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace tvi {
namespace {

using test::drainMainQueue;

constexpr const char* kTextFromAutomator = "com.orvella.Telvora-Automator.textFromAutomator";

// Serves the main queue until everything queued so far has run (bounded, so a broken
// queue fails the test instead of hanging it).
struct Received {
    std::string name;
    std::optional<std::string> object;
    bool onMainQueue;
};

class DistributedNotificationsTest : public ::testing::Test {
protected:
    std::shared_ptr<MemoryDistributedNotifications> center_ = std::make_shared<MemoryDistributedNotifications>();
    Platform::Scoped<DistributedNotifications> installed_{center_};
    std::vector<Received> received_;

    DistributedNotifications::Handler recorder()
    {
        return [this](const std::string& name, const std::optional<std::string>& object) {
            received_.push_back({name, object, DispatchQueue::main()->isCurrent()});
        };
    }
};

TEST_F(DistributedNotificationsTest, CompanionTextArrivesOnTheMainQueueUnchangedAndInOrder)
{
    int owner = 0;
    auto center = Platform::get<DistributedNotifications>();
    center->addObserver(&owner, kTextFromAutomator, recorder());
    center->addObserver(&owner, "some.other.name", recorder());

    // Posted from a companion's thread, as the real channel would.
    std::thread companion([this] {
        center_->postFromAnotherProcess(kTextFromAutomator, "  089 1234 \n");
        center_->postFromAnotherProcess(kTextFromAutomator, std::nullopt);
        center_->postFromAnotherProcess("unrelated.name", "x");
    });
    companion.join();
    EXPECT_TRUE(received_.empty()); // nothing runs before the main queue does
    drainMainQueue();

    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[0].name, kTextFromAutomator);
    EXPECT_EQ(received_[0].object, "  089 1234 \n");
    EXPECT_TRUE(received_[0].onMainQueue);
    EXPECT_EQ(received_[1].object, std::nullopt);
    EXPECT_TRUE(center_->postedNotifications().empty()); // those came from elsewhere
}

TEST_F(DistributedNotificationsTest, RemovalByOwnerStopsEvenDeliveriesAlreadyQueued)
{
    int leaving = 0;
    int staying = 0;
    int leftCalls = 0;
    center_->addObserver(&leaving, kTextFromAutomator, [&](auto&, auto&) { ++leftCalls; });
    center_->addObserver(&leaving, "second.name", [&](auto&, auto&) { ++leftCalls; });
    center_->addObserver(&staying, kTextFromAutomator, recorder());
    // A handler may remove its own owner; the second delivery then never starts.
    int selfRemoving = 0;
    center_->addObserver(&selfRemoving, kTextFromAutomator, [&](auto&, auto&) {
        ++selfRemoving;
        center_->removeObserversForOwner(&selfRemoving);
    });

    center_->postFromAnotherProcess(kTextFromAutomator, "123"); // queued for every owner
    center_->removeObserversForOwner(&leaving);
    center_->removeObserversForOwner(nullptr); // removes nothing
    center_->postNotification(kTextFromAutomator, "456");      // our own posts reach our observers too
    drainMainQueue();

    EXPECT_EQ(leftCalls, 0);
    EXPECT_EQ(selfRemoving, 1);
    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[0].object, "123");
    EXPECT_EQ(received_[1].object, "456");
    EXPECT_EQ(center_->observerCount(kTextFromAutomator), 1u);
    EXPECT_EQ(center_->observerCount("second.name"), 0u);
    EXPECT_EQ(center_->postedNotifications(),
              (std::vector<std::pair<std::string, std::optional<std::string>>>{{kTextFromAutomator, "456"}}));
}

}
}
