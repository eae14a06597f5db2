#include "link/LinkTestSupport.h"

#include "foundation/Bundle.h"
#include "foundation/NotificationCenter.h"
#include "support/MainLoopThread.h"

#include <gtest/gtest.h>

#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

// Command processing over a real loopback connection, with the reply bytes checked exactly.
class TVISocketCommandsTest : public LinkServerTest {
protected:
    void SetUp() override
    {
        LinkServerTest::SetUp();
        start();
        ASSERT_TRUE(peer.connect("127.0.0.1", server->port()));
        ASSERT_EQ(receiveMessageBytes(peer), (Bytes{0x01, 0x34}));
    }

    void TearDown() override
    {
        peer.close();
        LinkServerTest::TearDown();
    }

    Bytes exchange(const Bytes& request)
    {
        EXPECT_TRUE(peer.sendRaw(request));
        return receiveMessageBytes(peer);
    }

    // Nothing arrives for this request: proven by an echo that is answered first.
    void expectSilence(const Bytes& request)
    {
        EXPECT_TRUE(peer.sendRaw(request));
        EXPECT_EQ(exchange({0x01, 0x00}), (Bytes{0x01, 0x01}));
    }

    CalvettoPeer peer;
};

TEST_F(TVISocketCommandsTest, EchoIsAnsweredWithoutALogLine)
{
    logger->clear();
    EXPECT_EQ(exchange({0x01, 0x00}), (Bytes{0x01, 0x01}));
    for (const auto& text : logger->texts()) EXPECT_EQ(text.find("Echo"), std::string::npos) << text;
}

TEST_F(TVISocketCommandsTest, MonitoringStopThenStartSwitchesAllEightInOrder)
{
    EXPECT_EQ(exchange({0x01, 0x05}), (Bytes{0x01, 0x06}));
    for (auto flag : controller->enabled()) EXPECT_EQ(flag, false);
    EXPECT_EQ(exchange({0x01, 0x02}), (Bytes{0x01, 0x03}));
    for (auto flag : controller->enabled()) EXPECT_EQ(flag, true);
    // make call, cancel, transfer, clear, deflect, answer, hold, retrieve — twice.
    EXPECT_EQ(controller->order(), "0123456701234567");
    EXPECT_TRUE(logger->contains("TVISocket: Monitoring_Stop_Request arrived 5", 4));
    EXPECT_TRUE(logger->contains("TVISocket: Monitoring_Start_Request arrived 2", 4));
}

TEST_F(TVISocketCommandsTest, TypesTelvoraDoesNotHandleGetUnknownCommand)
{
    for (std::uint8_t type : {4, 8, 11, 13, 15, 52, 54, 62, 88, 255}) {
        EXPECT_EQ(exchange({0x01, type}), (Bytes{0x01, 0x0D})) << int(type);
        EXPECT_TRUE(logger->contains("TVISocket: Unknown [msg msgType] " + std::to_string(type), 2)) << int(type);
    }
}

TEST_F(TVISocketCommandsTest, DeletesSwitchOnlyTheirActionOff)
{
    EXPECT_EQ(exchange({0x01, 0x4F}), (Bytes{0x01, 0x50}));
    auto flags = controller->enabled();
    EXPECT_EQ(flags[2], false);
    EXPECT_EQ(controller->order(), "2");
    for (const auto& text : logger->texts()) EXPECT_EQ(text.find("delete_Transfer_Call_Combination"), std::string::npos);

    EXPECT_EQ(exchange({0x01, 0x46}), (Bytes{0x01, 0x47})); // hold: switched off after processing
    MainLoopThread::drain();
    EXPECT_EQ(controller->enabled()[6], false);
    EXPECT_TRUE(logger->contains("TVISocket: delete_Hold_Call_Combination arrived 70", 4));

    const std::pair<std::uint8_t, int> deletes[] = {{61, 0}, {64, 3}, {67, 4}, {73, 5}, {76, 7}, {82, 1}};
    for (auto [request, index] : deletes) {
        EXPECT_EQ(exchange({0x01, request}), (Bytes{0x01, std::uint8_t(request + 1)}));
        EXPECT_EQ(controller->enabled()[index], false) << int(request);
    }
}

TEST_F(TVISocketCommandsTest, ServerAddressIsStoredAsSent)
{
    EXPECT_EQ(exchange({0x0B, 0x35, '1', '0', '.', '0', '.', '0', '.', '5', '/', '/'}), (Bytes{0x01, 0x36}));
    EXPECT_EQ(controller->lastIp, "10.0.0.5//");
    EXPECT_EQ(exchange({0x01, 0x55}), (Bytes{0x01, 0x56}));
    EXPECT_EQ(controller->lastIp, "");
    EXPECT_EQ(exchange({0x03, 0x35, 0xC3, 0x28}), (Bytes{0x01, 0x36})); // not UTF-8
    EXPECT_EQ(controller->lastIp, std::nullopt);
    EXPECT_EQ(controller->ipCount, 3);
    EXPECT_TRUE(logger->contains("TVISocket: Ip_Address_Update arrived 85", 4));
}

TEST_F(TVISocketCommandsTest, AcknowledgementsAreLoggedAndNotAnswered)
{
    expectSilence({0x01, 0x0E});
    expectSilence({0x01, 0x57});
    expectSilence({0x01, 0x0C});
    expectSilence({0x01, 0x3C});
    expectSilence({0x01, 0x3F});
    EXPECT_TRUE(logger->contains("TVISocket: ClickToDial_Terminate_Request arrived 14", 4));
    EXPECT_TRUE(logger->contains("TVISocket: Button_Combination_MakeCall_Pressed_Response arrived 12", 4));
    EXPECT_TRUE(logger->contains("TVISocket: delete_Make_Call_ACK arrived 63", 4));
}

TEST_F(TVISocketCommandsTest, KeyCombinationRequestsAreAnsweredByTheirOutcome)
{
    std::vector<PlistDictionary> posted;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "holdCallUpdated", nullptr, [&](const Notification& n) { posted.push_back(n.userInfo); });
    EXPECT_EQ(exchange({0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1D})); // Ctrl+F5
    EXPECT_EQ(exchange({0x04, 0x1C, 0x01, 0x00, 0x41}), (Bytes{0x01, 0x1E}));             // A alone
    EXPECT_EQ(exchange({0x04, 0x1C, 0x02, 0x01, 0x3E}), (Bytes{0x01, 0x1F}));             // cut short
    EXPECT_EQ(exchange({0x02, 0x1C, 0x00}), (Bytes{0x01, 0x1E}));                         // no keys
    EXPECT_EQ(exchange({0x01, 0x1C}), (Bytes{0x01, 0x1E}));                               // no payload at all
    NotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].at("key").integerValue(), 96);
    EXPECT_EQ(posted[0].at("modifierFlags").integerValue(), 0x40000);
    EXPECT_TRUE(logger->contains("TVISocket: Button_Combination_HoldCall_Request arrived 28", 4));
}

}
}
