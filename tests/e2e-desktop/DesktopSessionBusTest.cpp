// The real executable on the session bus: companion texts posted with gdbus and dbus-send as the
// README shows, Quit over the session name, the desktop notification when no Calvetto listens, and
// the orderly shutdown when the session bus goes away.
#include "DesktopTelvoraFixture.h"
#include "support/ChildProcess.h"

#include <algorithm>
#include <cstdlib>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

const std::string kNotificationServer =
    std::string(TELVORA_BINARY_DIR) + "/tools/test-notification-server/telvora-notification-server";

// The commands as the README gives them; `gvariantText` is already GVariant text inside single
// quotes (so "\\n" is a line feed), `text` for dbus-send goes as it stands.
int gdbusEmit(const std::string& gvariantText)
{
    return runCommand("gdbus emit --session --object-path /com/orvella/Telvora/Notifications "
                      "--signal com.orvella.Telvora.DistributedNotifications.Post "
                      "\"'com.orvella.Telvora-Automator.textFromAutomator'\" \"'" + gvariantText + "'\" 2>&1")
        .status;
}

int dbusSend(const std::string& text)
{
    return runCommand("dbus-send --session --type=signal /com/orvella/Telvora/Notifications "
                      "com.orvella.Telvora.DistributedNotifications.Post "
                      "string:com.orvella.Telvora-Automator.textFromAutomator string:'" + text + "' 2>&1")
        .status;
}

class DesktopSessionBusTest : public DesktopTelvoraFixture {
protected:
    bool logged(const std::string& line) const
    {
        const auto lines = telvora->logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    void expectShutdownSequenceLogged()
    {
        for (const char* line : {"TVIAppDelegate: => applicationWillTerminate", "TVIAppDelegate: => stopServer",
                                 "TVIAppDelegate: => removeNotifications"})
            EXPECT_TRUE(logged(line)) << line << "\n" << console();
    }
};

TEST_F(DesktopSessionBusTest, CompanionTextFromGdbusAndDbusSendArrivesUntrimmedAndBlanksSendNothing)
{
    CalvettoPeer peer;
    connect(peer);

    ASSERT_EQ(gdbusEmit("  089 1234 \\n"), 0);
    auto message = peer.receive(kWait);
    ASSERT_TRUE(message) << console();
    EXPECT_EQ(message->msgType(), Button_Combination_MakeCall_Pressed);
    const std::string untrimmed = "  089 1234 \n";
    EXPECT_EQ(message->msgPayload().value_or(Bytes{}), Bytes(untrimmed.begin(), untrimmed.end()));

    // Blanks go first: had they been sent, they would be the next message.
    ASSERT_EQ(dbusSend("   "), 0);
    ASSERT_EQ(dbusSend("+49 89 1234-5678"), 0);
    message = peer.receive(kWait);
    ASSERT_TRUE(message) << console();
    const std::string number = "+49 89 1234-5678";
    EXPECT_EQ(message->msgPayload().value_or(Bytes{}), Bytes(number.begin(), number.end()));
}

TEST_F(DesktopSessionBusTest, QuitOverTheSessionNameRunsTheShutdownSequenceAndExitsZero)
{
    ASSERT_TRUE(waitUntil([&] { return logged("TVIAppSessionCommands: => Took the session name com.orvella.Telvora"); },
                          kWait))
        << console();
    const CommandResult quit = runCommand("gdbus call --session --dest com.orvella.Telvora --object-path "
                                          "/com/orvella/Telvora --method com.orvella.Telvora.Quit 2>&1");
    EXPECT_EQ(quit.status, 0) << quit.output;
    EXPECT_EQ(telvora->waitForExit(kWait), std::optional<int>(0)) << console();
    EXPECT_TRUE(logged("TVIAppSessionCommands: => Quit requested by another program of the session"));
    expectShutdownSequenceLogged();
}

TEST_F(DesktopSessionBusTest, CompanionTextWithoutCalvettoRaisesADesktopNotificationAndAWarning)
{
    ChildProcess server;
    ASSERT_TRUE(server.start({kNotificationServer}, home + "/notifications.txt"));
    ASSERT_TRUE(server.waitForOutput("ready", kWait)) << server.output();

    ASSERT_EQ(dbusSend("0891234567"), 0);
    EXPECT_TRUE(server.waitForOutput("summary=Calvetto is not running", kWait)) << server.output() << console();
    EXPECT_TRUE(waitUntil([&] { return logged("TVIAppDelegate: Calvetto is not running: the text to dial was not sent"); },
                          kWait))
        << console();

    // With Calvetto there, the text goes through and nothing more is shown.
    CalvettoPeer peer;
    connect(peer);
    ASSERT_EQ(dbusSend("0891234567"), 0);
    ASSERT_TRUE(peer.receive(kWait)) << console();
    const std::string output = server.output();
    auto count = [&output] {
        std::size_t n = 0;
        for (auto at = output.find("Notify "); at != std::string::npos; at = output.find("Notify ", at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(), 1u) << output;
}

// Telvora on a bus of its own, which the test then takes away as a logout would.
class DesktopSessionBusLossTest : public DesktopSessionBusTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, makeTempDir("bus") + "/address"));
        // The address line is complete once its line feed is there.
        ASSERT_TRUE(bus.waitForOutput("\n", kWait)) << bus.output();
        std::string address = bus.output();
        address.erase(address.find('\n'));
        const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        sessionAddress = previous ? previous : "";
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        DesktopSessionBusTest::SetUp();
        setenv("DBUS_SESSION_BUS_ADDRESS", sessionAddress.c_str(), 1);
    }

    ChildProcess bus;
    std::string sessionAddress;
};

TEST_F(DesktopSessionBusLossTest, LosingTheSessionBusRunsTheShutdownSequenceAndExitsZero)
{
    ASSERT_TRUE(waitUntil([&] { return logged("TVIAppSessionCommands: => Took the session name com.orvella.Telvora"); },
                          kWait))
        << console();
    bus.terminate();
    EXPECT_EQ(telvora->waitForExit(kWait), std::optional<int>(0)) << console();
    EXPECT_NE(console().find("SdBusConnection: Lost the session bus"), std::string::npos) << console();
    expectShutdownSequenceLogged();
}

}
}
