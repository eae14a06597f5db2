// Distributed notifications over the session bus: what this process posts comes back to its own
// observers, absent and empty objects stay apart, other programs' posts arrive, and a malformed
// post is ignored.
#include "platform/linux/SdBusDistributedNotifications.h"

#include "DesktopTools.h"
#include "support/DesktopSession.h"
#include "support/DrainMainQueue.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

using namespace std::chrono_literals;

constexpr const char* kName = "com.orvella.Telvora.tests.busNotification";

class SdBusDistributedNotificationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string problem = test::desktopSessionProblem();
        ASSERT_TRUE(problem.empty()) << problem;
        std::string why;
        center_ = SdBusDistributedNotifications::create(why);
        ASSERT_TRUE(center_) << why;
        center_->addObserver(this, kName, [this](const std::string&, const std::optional<std::string>& object) {
            received_.push_back(object);
        });
    }

    bool receivedCount(std::size_t count)
    {
        return test::waitUntil([&] {
            test::drainMainQueue();
            return received_.size() >= count;
        }, 5s);
    }

    static int dbusSend(const std::string& arguments)
    {
        return test::runCommand(std::string("dbus-send --session --type=signal /com/orvella/Telvora/Notifications "
                                            "com.orvella.Telvora.DistributedNotifications.Post string:") +
                                kName + " " + arguments + " 2>&1")
            .status;
    }

    std::shared_ptr<SdBusDistributedNotifications> center_;
    std::vector<std::optional<std::string>> received_;
};

TEST_F(SdBusDistributedNotificationsTest, OwnAndForeignPostsArriveWithAbsentAndEmptyObjectsApart)
{
    center_->postNotification(kName, std::nullopt);
    center_->postNotification(kName, std::string());
    center_->postNotification(kName, std::string("  089 1234 \n"));
    ASSERT_TRUE(receivedCount(3));
    EXPECT_EQ(received_, (std::vector<std::optional<std::string>>{std::nullopt, "", "  089 1234 \n"}));

    ASSERT_EQ(dbusSend(""), 0);
    ASSERT_TRUE(receivedCount(4));
    EXPECT_EQ(received_[3], std::nullopt);

    // Neither (s) nor (ss): ignored, so the next one is the one that arrives.
    ASSERT_EQ(dbusSend("int32:5"), 0);
    ASSERT_EQ(dbusSend("string:0815"), 0);
    ASSERT_TRUE(receivedCount(5));
    EXPECT_EQ(received_[4], std::optional<std::string>("0815"));
    test::waitUntil([&] { test::drainMainQueue(); return false; }, 200ms);
    EXPECT_EQ(received_.size(), 5u);
}

TEST_F(SdBusDistributedNotificationsTest, NothingReachesAnObserverAfterItsRemoval)
{
    center_->postNotification(kName, std::string("before"));
    center_->removeObserversForOwner(this);
    center_->postNotification(kName, std::string("after"));
    test::waitUntil([&] { test::drainMainQueue(); return false; }, 300ms);
    EXPECT_TRUE(received_.empty());
}

}
}
