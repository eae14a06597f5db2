// The real executable, started headless in a throw-away HOME and driven over loopback like Calvetto.
#include "CalvettoPeer.h"
#include "TelvoraProcess.h"
#include "foundation/PropertyListSerialization.h"
#include "shortcuts/MASShortcut.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;
using peer::TelvoraProcess;

const std::string kExecutable = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";

class HeadlessTelvoraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = makeTempDir("e2e-home");
        telvora = std::make_unique<TelvoraProcess>(kExecutable, home);
        ASSERT_TRUE(telvora->start({"--headless"}, home + "/console.txt"));
        auto found = telvora->waitForPort(10s);
        ASSERT_TRUE(found) << "Telvora wrote no port file";
        port = *found;
    }

    void TearDown() override
    {
        if (telvora) telvora->terminate();
    }

    // A client that has already received the Ip_Address_Request every connection starts with.
    void connect(CalvettoPeer& peer)
    {
        ASSERT_TRUE(peer.connect("127.0.0.1", port));
        EXPECT_EQ(peer.receiveBytes(2, 3s), (Bytes{0x01, 0x34}));
    }

    Bytes exchange(CalvettoPeer& peer, const Bytes& request, std::size_t replyLength = 2)
    {
        EXPECT_TRUE(peer.sendRaw(request));
        return peer.receiveBytes(replyLength, 3s);
    }

    int stop()
    {
        auto status = telvora->terminate();
        return status.value_or(-1);
    }

    PlistDictionary storedPreferences() const
    {
        const std::string path = home + "/Library/Preferences/com.orvella.Telvora.plist";
        std::ifstream in(path, std::ios::binary);
        const PlistData bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_GE(bytes.size(), 8u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + std::min<std::size_t>(8, bytes.size())), "bplist00");
        auto value = PropertyListSerialization::propertyListFromData(bytes);
        return value && value->is<PlistDictionary>() ? *value->get<PlistDictionary>() : PlistDictionary{};
    }

    bool logged(const std::string& line) const
    {
        const auto lines = telvora->logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::string home;
    std::unique_ptr<TelvoraProcess> telvora;
    std::uint16_t port = 0;
};

TEST_F(HeadlessTelvoraTest, SpeaksTheWholeProtocolByteForByte)
{
    CalvettoPeer peer;
    connect(peer);
    // The address exchange: as sent, then empty, then not UTF-8 (stored as absent).
    EXPECT_EQ(exchange(peer, {0x0A, 0x35, '1', '0', '.', '0', '.', '0', '.', '5', '/'}), (Bytes{0x01, 0x36}));
    EXPECT_EQ(exchange(peer, {0x01, 0x00}), (Bytes{0x01, 0x01}));
    EXPECT_EQ(exchange(peer, {0x01, 0x05}), (Bytes{0x01, 0x06}));
    EXPECT_EQ(exchange(peer, {0x01, 0x02}), (Bytes{0x01, 0x03}));

    // Every group: accepted, rejected, failed, and its Telvora-only codes answered as unknown.
    // Each action gets a function key of its own (F1, F2, ...): one already taken would fail.
    std::uint8_t functionKey = 0x0C;
    for (std::uint8_t request : {7, 16, 22, 28, 34, 40, 46, 55}) {
        SCOPED_TRACE(int(request));
        EXPECT_EQ(exchange(peer, {0x04, request, 0x01, 0x01, functionKey++}), (Bytes{0x01, std::uint8_t(request + 1)}));
        EXPECT_EQ(exchange(peer, {0x04, request, 0x01, 0x00, 0x41}), (Bytes{0x01, std::uint8_t(request + 2)}));
        EXPECT_EQ(exchange(peer, {0x0A, request, 0x04, 0x01, 0x3E, 0x01, 0x10, 0x01, 0x0C, 0x01, 0x0D}),
                  (Bytes{0x01, std::uint8_t(request + 3)}));
        EXPECT_EQ(exchange(peer, {0x01, std::uint8_t(request + 1)}), (Bytes{0x01, 0x0D}));
    }
    EXPECT_EQ(exchange(peer, {0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1D})); // Ctrl+F5
    EXPECT_EQ(exchange(peer, {0x02, 0x1C, 0x02}), (Bytes{0x01, 0x1F}));                         // cut short

    // Deletes, one per action.
    for (std::uint8_t request : {61, 64, 67, 70, 73, 76, 79, 82})
        EXPECT_EQ(exchange(peer, {0x01, request}), (Bytes{0x01, std::uint8_t(request + 1)})) << int(request);

    EXPECT_EQ(exchange(peer, {0x01, 0x55}), (Bytes{0x01, 0x56}));
    EXPECT_EQ(exchange(peer, {0x03, 0x35, 0xFF, 0xFE}), (Bytes{0x01, 0x36}));
    EXPECT_EQ(exchange(peer, {0x06, 0x55, 'h', 'o', 's', 't', '1'}), (Bytes{0x01, 0x56}));

    // Silent types, then two messages in one segment: only the echoes answer.
    EXPECT_EQ(exchange(peer, {0x01, 0x0E, 0x01, 0x0C, 0x01, 0x3F, 0x01, 0x57, 0x01, 0x00, 0x01, 0x00}, 4),
              (Bytes{0x01, 0x01, 0x01, 0x01}));
    EXPECT_TRUE(peer.receiveBytes(1, 200ms).empty());
    EXPECT_EQ(stop(), 0);

    const PlistDictionary stored = storedPreferences();
    EXPECT_EQ(stored.at("TVILastSavedIpString").stringValue(), "host1");
    EXPECT_FALSE(stored.at("TVIFirstRun").boolValue());
    for (const char* key : {"TVIMakeCallShortcutEnabled", "TVIHoldCallShortcutEnabled", "TVICancelActionShortcutEnabled"})
        EXPECT_FALSE(stored.at(key).boolValue()) << key;
    EXPECT_EQ(stored.at("SUScheduledCheckInterval").integerValue(), 86400);

    EXPECT_TRUE(logged("TVISocket: Telvora server started on port " + std::to_string(port)));
    EXPECT_TRUE(logged("TVISocket: Ip_Address_Response arrived 53"));
    EXPECT_TRUE(logged("TVISocket: Monitoring_Start_Request arrived 2"));
    EXPECT_TRUE(logged("TVISocket: Unknown [msg msgType] 8"));
    EXPECT_TRUE(logged("TVISocket: Button Combination keys 1 [Deflect Call] rejected Wrong keys!"));
    EXPECT_TRUE(logged("TVISocket: keyDetails is empty for Cancel Action!"));
    EXPECT_TRUE(logged("TVIAppDelegate: => constructFeedUrl -> returned path:10.0.0.5/management/downloads/Appcast.xml"));
    EXPECT_TRUE(logged("TVIAppDelegate: => constructFeedUrl -> returned empty string!"));
    EXPECT_TRUE(logged("TVISocket: delete_Hold_Call_Combination arrived 70"));
    EXPECT_FALSE(logged("TVISocket: delete_Transfer_Call_Combination arrived 79"));
    EXPECT_TRUE(logged("TVIAppDelegate: => applicationWillTerminate"));
    EXPECT_TRUE(logged("TVISocket: Stopped Telvora server"));
    for (const auto& line : telvora->logLines()) EXPECT_EQ(line.find("Echo_Request"), std::string::npos) << line;
}

TEST_F(HeadlessTelvoraTest, HeaderZeroStopsOneClientWhileAnotherKeepsWorking)
{
    CalvettoPeer first;
    connect(first);
    CalvettoPeer second;
    ASSERT_TRUE(second.connect("127.0.0.1", port));
    EXPECT_EQ(first.receiveBytes(2, 3s), (Bytes{0x01, 0x34})); // the request goes to the first client
    EXPECT_TRUE(second.receiveBytes(1, 200ms).empty());

    // Replies go to the asking client.
    EXPECT_EQ(exchange(second, {0x01, 0x00}), (Bytes{0x01, 0x01}));
    EXPECT_TRUE(first.receiveBytes(1, 200ms).empty());

    EXPECT_TRUE(first.sendRaw({0x00, 0x01, 0x00}));
    EXPECT_TRUE(first.receiveBytes(1, 300ms).empty());
    EXPECT_EQ(exchange(second, {0x01, 0x00}), (Bytes{0x01, 0x01}));
    EXPECT_EQ(stop(), 0);
    EXPECT_TRUE(logged("TVISocket: Error processing Header!"));
}

TEST_F(HeadlessTelvoraTest, FirstRunIsHandledOnceAndQuittingSwitchesEverythingOff)
{
    {
        CalvettoPeer peer;
        connect(peer);
        EXPECT_EQ(exchange(peer, {0x01, 0x02}), (Bytes{0x01, 0x03}));
    }
    EXPECT_EQ(stop(), 0);
    EXPECT_TRUE(logged("TVIAppDelegate: => initPreferences -> First Run"));

    // The port file outlives the process; wait for the new run's port.
    std::remove(telvora->portFilePath().c_str());
    telvora = std::make_unique<TelvoraProcess>(kExecutable, home);
    ASSERT_TRUE(telvora->start({"--headless"}));
    auto newPort = telvora->waitForPort(10s);
    ASSERT_TRUE(newPort);
    port = *newPort;
    CalvettoPeer peer;
    connect(peer);
    EXPECT_EQ(exchange(peer, {0x01, 0x02}), (Bytes{0x01, 0x03}));
    EXPECT_TRUE(storedPreferences().at("TVIRetrieveCallShortcutEnabled").boolValue());
    EXPECT_EQ(stop(), 0);

    int firstRuns = 0;
    for (const auto& line : telvora->logLines()) firstRuns += line == "TVIAppDelegate: => initPreferences -> First Run";
    EXPECT_EQ(firstRuns, 1);
    const PlistDictionary stored = storedPreferences();
    for (const char* key : {"TVIMakeCallShortcutEnabled", "TVICancelActionShortcutEnabled", "TVIAnswerCallShortcutEnabled",
                            "TVIClearConnectionShortcutEnabled", "TVIDeflectCallShortcutEnabled",
                            "TVIHoldCallShortcutEnabled", "TVIRetrieveCallShortcutEnabled",
                            "TVITransferCallShortcutEnabled"})
        EXPECT_FALSE(stored.at(key).boolValue()) << key;
}

TEST_F(HeadlessTelvoraTest, ThePeerToolsRequestsAreStoredAsKeyedArchives)
{
    const std::string peerTool = std::string(TELVORA_BINARY_DIR) + "/tools/calvetto-peer/calvetto-peer";
    const std::string output = home + "/peer.txt";
    const std::string command = "HOME='" + home + "' '" + peerTool + "' make-call=F1 hold=Ctrl+F5 " +
                                "expect=Button_Combination_HoldCall_Accepted --linger 100 > '" + output + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(output);
    const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(printed.find("<- 0x08   8 Button_Combination_MakeCall_Accepted"), std::string::npos) << printed;
    EXPECT_NE(printed.find("-> 0x1c  28 Button_Combination_HoldCall_Request 02013e0110"), std::string::npos) << printed;
    EXPECT_EQ(stop(), 0);

    const PlistDictionary stored = storedPreferences();
    const PlistData* makeCall = stored.at("TVIMakeCallShortcut").get<PlistData>();
    const PlistData* hold = stored.at("TVIHoldCallShortcut").get<PlistData>();
    ASSERT_TRUE(makeCall && hold);
    EXPECT_EQ(*makeCall, MASShortcut::shortcutWithKeyCode(122, 0).data());       // F1
    EXPECT_EQ(*hold, MASShortcut::shortcutWithKeyCode(96, 0x40000).data());      // Control-F5
    EXPECT_TRUE(logged("TVIAppDelegate: => registerShortcut defaultsKey:TVIHoldCallShortcut"));
}

TEST_F(HeadlessTelvoraTest, ASecondStartOfTheSameUserExitsAndLeavesTheFirstServing)
{
    const std::string portFile = telvora->portFilePath();
    std::ifstream before(portFile);
    const std::string written((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    const std::string output = home + "/second.txt";
    const std::string command = "HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' '" + kExecutable +
                                "' --headless > '" + output + "' 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(output);
    const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(printed.find("TVISingleInstance: Telvora is already running for this user (pid " +
                           std::to_string(telvora->pid()) + "); this one exits"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("initSocket"), std::string::npos) << printed;

    std::ifstream after(portFile);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), written);
    CalvettoPeer peer;
    connect(peer);
    EXPECT_EQ(exchange(peer, {0x04, 0x07, 0x01, 0x01, 0x0C}), (Bytes{0x01, 0x08})); // make-call on F1 accepted
    EXPECT_EQ(stop(), 0);
}

TEST(TelvoraCommandLine, HelpAndVersion)
{
    const std::string home = makeTempDir("cli-home");
    for (const char* option : {"--version", "--help"}) {
        TelvoraProcess process(kExecutable, home);
        const std::string output = home + "/out-" + std::string(option + 2) + ".txt";
        ASSERT_TRUE(process.start({option}, output));
        for (int i = 0; i < 500 && process.isRunning(); ++i) std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(process.isRunning());
        std::ifstream in(output);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (std::string(option) == "--version")
            EXPECT_EQ(text, "Telvora 1.0.0 (Build 1)\n");
        else
            EXPECT_NE(text.find("usage: Telvora"), std::string::npos);
    }
}

}
}
