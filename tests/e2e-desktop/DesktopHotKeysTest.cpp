// Hot keys of the real executable on an X11 desktop: requested over the link, pressed with
// XTest, refused when another client holds the combination, and given back on every road.
#include "DesktopTelvoraFixture.h"
#include "ForeignXClient.h"

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

const TVIActionCodes& kHold = TVIMessageTypes::codes(TVICallAction::HoldCall);
const TVIActionCodes& kAnswer = TVIMessageTypes::codes(TVICallAction::AnswerCall);

class DesktopHotKeysTest : public DesktopTelvoraFixture {
protected:
    void SetUp() override
    {
        DesktopTelvoraFixture::SetUp();
        ASSERT_TRUE(x.isOpen()) << "cannot open the X display";
    }

    ForeignXClient x;
};

TEST_F(DesktopHotKeysTest, PressesArriveAndCombinationsOfOtherClientsAreRefused)
{
    CalvettoPeer peer;
    connect(peer);
    ASSERT_EQ(request(peer, kHold.request, "Ctrl+F5"), kHold.accepted());
    EXPECT_FALSE(x.isFree(ControlMask, XK_F5)) << "Telvora does not hold Ctrl+F5";

    // F5 alone is not the combination: only the Control press arrives.
    ASSERT_TRUE(xdotool("key F5 ctrl+F5"));
    EXPECT_EQ(nextType(peer), kHold.pressed());
    // With NumLock on the same combination still arrives (the lock variants are grabbed too).
    ASSERT_TRUE(xdotool("key Num_Lock ctrl+F5 Num_Lock"));
    EXPECT_EQ(nextType(peer), kHold.pressed());

    // Another client got there first: the registration is refused, not reported as accepted.
    ASSERT_TRUE(x.grab(ControlMask, XK_F6));
    EXPECT_EQ(request(peer, kAnswer.request, "Ctrl+F6"), kAnswer.failed());
    ASSERT_TRUE(xdotool("key ctrl+F5"));
    EXPECT_EQ(nextType(peer), kHold.pressed()) << "a refused grab broke the others";
    x.ungrab(ControlMask, XK_F6);

    EXPECT_EQ(telvora->terminate().value_or(-1), 0) << console();
    EXPECT_TRUE(x.isFree(ControlMask, XK_F5));
}

TEST_F(DesktopHotKeysTest, MonitoringStopDeleteAndDisconnectGiveTheGrabsBack)
{
    CalvettoPeer peer;
    connect(peer);
    // Hold sent twice unchanged; answer sent twice with another combination the second time.
    ASSERT_EQ(request(peer, kHold.request, "Ctrl+F5"), kHold.accepted());
    ASSERT_EQ(request(peer, kHold.request, "Ctrl+F5"), kHold.accepted());
    ASSERT_EQ(request(peer, kAnswer.request, "Ctrl+F9"), kAnswer.accepted());
    ASSERT_EQ(request(peer, kAnswer.request, "Ctrl+F7"), kAnswer.accepted());
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F9)) << "the replaced combination is still grabbed";
    EXPECT_FALSE(x.isFree(ControlMask, XK_F5));
    EXPECT_FALSE(x.isFree(ControlMask, XK_F7));

    ASSERT_TRUE(peer.send(Monitoring_Stop_Request));
    EXPECT_EQ(nextType(peer), Monitoring_Stop_Response);
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F5)) << "monitoring stop kept Ctrl+F5";
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F7)) << "monitoring stop kept Ctrl+F7";

    // Monitoring start only switches the actions on again: the grabs come back when Calvetto
    // sends its combinations again, as it does after a start.
    ASSERT_TRUE(peer.send(Monitoring_Start_Request));
    EXPECT_EQ(nextType(peer), Monitoring_Start_Response);
    ASSERT_EQ(request(peer, kHold.request, "Ctrl+F5"), kHold.accepted());
    ASSERT_EQ(request(peer, kAnswer.request, "Ctrl+F7"), kAnswer.accepted());
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F5, false)) << "Ctrl+F5 was not grabbed again";
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F7, false));
    EXPECT_TRUE(x.isFree(ControlMask, XK_F9));
    ASSERT_TRUE(xdotool("key ctrl+F7"));
    EXPECT_EQ(nextType(peer), kAnswer.pressed());

    ASSERT_TRUE(peer.send(kHold.deleteRequest));
    EXPECT_EQ(nextType(peer), kHold.deleteResponse());
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F5)) << "a delete kept Ctrl+F5";
    EXPECT_FALSE(x.isFree(ControlMask, XK_F7));

    peer.close();
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F7)) << "Calvetto's disconnect kept Ctrl+F7";
    EXPECT_TRUE(telvora->isRunning());
}

}
}
