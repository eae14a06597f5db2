#include "link/TVISocket.h"

#include "foundation/NotificationCenter.h"
#include "support/CollectingLogger.h"

#include <gtest/gtest.h>

namespace tvi::test {
namespace {

// Stands in for the controller: a posted combination is held unless told otherwise.
class HoldingController : public TVISocketController {
public:
    bool holds = true;
    void askForIpAddress() override {}
    void disableAllShortcuts() override {}
    void setShortcutEnabled(TVICallAction, bool) override {}
    void setLastSavedIpString(const std::optional<std::string>&) override {}
    bool holdsShortcut(TVICallAction, std::uint64_t, std::uint64_t) override { return holds; }
};

class KeyCombinationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logger = CollectingLogger::install();
        server = TVISocket::create();
        server->setController(controller);
        for (const char* name : {"makeCallUpdated", "cancelActionUpdated", "answerCallUpdated", "holdCallUpdated",
                                 "clearConnectionUpdated", "deflectCallUpdated", "retrieveCallUpdated",
                                 "transferCallUpdated"})
            tokens.push_back(NotificationCenter::defaultCenter().addObserver(
                name, nullptr, [this](const Notification& n) {
                    posted.push_back(n);
                    EXPECT_EQ(n.object, server.get());
                }));
    }
    void TearDown() override
    {
        for (auto token : tokens) NotificationCenter::defaultCenter().removeObserver(token);
        server.reset();
        CollectingLogger::uninstall(logger);
    }

    std::shared_ptr<CollectingLogger> logger;
    std::shared_ptr<HoldingController> controller = std::make_shared<HoldingController>();
    std::shared_ptr<TVISocket> server;
    std::vector<NotificationCenter::ObserverToken> tokens;
    std::vector<Notification> posted;
};

TEST_F(KeyCombinationTest, BytePairsAreBase100)
{
    const std::pair<Bytes, std::uint32_t> pairs[] = {{{0x01, 0x3C}, 160}, {{0x01, 0x3D}, 161}, {{0x01, 0x3E}, 162},
                                                     {{0x01, 0x3F}, 163}, {{0x01, 0x40}, 164}, {{0x01, 0x41}, 165},
                                                     {{0x00, 0x5B}, 91},  {{0x00, 0x5C}, 92},  {{0x01, 0x0C}, 112}};
    for (const auto& [bytes, value] : pairs) EXPECT_EQ(TVISocket::bcdToIntegerConversion(2, bytes.data()), value);
    EXPECT_TRUE(logger->contains("TVISocket: Converting bcd buffer to Int result:160", 4));
}

TEST_F(KeyCombinationTest, SingleFunctionKeyIsAccepted)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x01, 0x01, 0x0C}, 7), 8);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].name, "makeCallUpdated");
    EXPECT_EQ(posted[0].userInfo.at("key").integerValue(), 122); // kVK_F1
    EXPECT_EQ(posted[0].userInfo.at("modifierFlags").integerValue(), 0);
    EXPECT_TRUE(logger->contains("TVISocket: bufferStringInHex:01010c", 4));
    EXPECT_TRUE(logger->contains("TVISocket: keyStringToSet:kVK_F1", 4));
}

TEST_F(KeyCombinationTest, SingleKeysOtherThanFunctionKeysAreRejected)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x01, 0x00, 0x41}, 7), 9);
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination keys 1 [Make Call] rejected Wrong keys!", 2));
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x01, 0x00, 0x1B}, 34), 36); // Escape only cancels
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x01, 0x00, 0x1B}, 55), 56);
    EXPECT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].name, "cancelActionUpdated");
    EXPECT_EQ(posted[0].userInfo.at("key").integerValue(), 53); // kVK_Escape
}

TEST_F(KeyCombinationTest, EmptyCombinationsAreRejected)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x00}, 34), 36);
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination keys 0 [Answer Call] rejected Wrong keys!", 2));
    EXPECT_EQ(server->translateMsgPayLoadToKeys({}, 55), 57);
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x00}, 99), 13);
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination keys 0 return Unknown_Command_Response", 2));
    EXPECT_TRUE(posted.empty());
}

TEST_F(KeyCombinationTest, ModifiersComeFromTheKeysBeforeTheLast)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3E, 0x01, 0x10}, 28), 29);
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x03, 0x01, 0x3C, 0x01, 0x3E, 0x01, 0x14}, 46), 47);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].userInfo.at("key").integerValue(), 96);            // F5
    EXPECT_EQ(posted[0].userInfo.at("modifierFlags").integerValue(), 0x40000);
    EXPECT_EQ(posted[1].userInfo.at("key").integerValue(), 101);           // F9
    EXPECT_EQ(posted[1].userInfo.at("modifierFlags").integerValue(), 0x60000);
}

TEST_F(KeyCombinationTest, UntranslatableCombinationsFail)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x04, 0x01, 0x3E, 0x01, 0x10, 0x01, 0x0C, 0x01, 0x0D}, 16), 19);
    EXPECT_TRUE(logger->contains("TVISocket: keyStringToSet is empty!!!", 2));
    EXPECT_TRUE(logger->contains("TVISocket: keyDetails is empty for Clear Connection!", 2));
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3E, 0x00, 0x10}, 22), 25); // code 16 has no name
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x03, 0x01, 0x3E}, 40), 43);             // payload cut short
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3E, 0x01, 0x10}, 99), 13);
    EXPECT_TRUE(logger->contains("TVISocket: Unknown_Command_Response identifier:c", 4));
    EXPECT_TRUE(posted.empty());
}

TEST_F(KeyCombinationTest, LeadingKeysWithoutAModifierLeaveASingleKeyThatMustQualify)
{
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x00, 0x41, 0x00, 0x44}, 7), 9);                // A + D
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x00, 0x11, 0x00, 0x44}, 34), 36);              // Control 17 + D
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x03, 0x00, 0x41, 0x00, 0x11, 0x00, 0x43}, 46), 48);  // A + 17 + C
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination keys 1 [Make Call] rejected Wrong keys!", 2));
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination keys 1 [Transfer Call] rejected Wrong keys!", 2));
    EXPECT_TRUE(posted.empty());

    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3D, 0x01, 0x10}, 28), 29); // right Shift + F5
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x00, 0x41, 0x00, 0x1B}, 55), 56); // A + Escape cancels
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3E, 0x00, 0x44}, 16), 17); // left Ctrl + D
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].userInfo.at("key").integerValue(), 96); // F5 alone
    EXPECT_EQ(posted[0].userInfo.at("modifierFlags").integerValue(), 0);
    EXPECT_EQ(posted[1].userInfo.at("key").integerValue(), 53);
    EXPECT_EQ(posted[2].userInfo.at("modifierFlags").integerValue(), 0x40000);
}

TEST_F(KeyCombinationTest, ACombinationTheControllerCouldNotRegisterFails)
{
    controller->holds = false;
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x02, 0x01, 0x3E, 0x01, 0x10}, 28), 31);
    EXPECT_EQ(posted.size(), 1u); // still handed over, so the combination is kept
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination [Hold Call] could not be registered, answered Failed", 2));
    server->setController({});
    EXPECT_EQ(server->translateMsgPayLoadToKeys({0x01, 0x01, 0x0C}, 7), 10); // nobody to register it
}

}
}
