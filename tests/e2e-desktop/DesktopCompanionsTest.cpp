// The companions in a desktop session: installed at start into a fresh HOME, the tel: link
// handler, `Telvora call`, and the version rules for items already installed.
#include "DesktopTelvoraFixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAction = "/Library/Automator/Call via Calvetto.action";
constexpr const char* kWorkflow = "/Library/Services/Call via Calvetto.workflow";
constexpr const char* kPlugin = "/Library/Address Book Plug-Ins/com.orvella.TVAbplugin.bundle";

void writeFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void makeItem(const std::string& path, const std::string& version)
{
    writeFile(path + "/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>test.installed"
              "</string><key>CFBundleVersion</key><string>" + version + "</string></dict></plist>");
    writeFile(path + "/Contents/installed-by-test", "");
}

class DesktopCompanionsTest : public DesktopTelvoraFixture {
protected:
    // The session's environment with this test's HOME and XDG folders.
    std::string inHome(const std::string& command) const
    {
        return "env HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' XDG_DATA_HOME='" + home +
               "/.local/share' " + command;
    }
    std::string telvoraCall(const std::string& quotedArguments) const
    {
        return inHome("'" + std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora' call " + quotedArguments);
    }

    bool loggedWithin(const std::string& text, std::chrono::milliseconds timeout = kWait) const
    {
        const auto deadline = Clock::now() + timeout;
        do {
            const auto lines = telvora->logLines();
            if (std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.find(text) != std::string::npos; }))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (Clock::now() < deadline);
        return false;
    }

    // The companions are copied on the installer's own thread, which may finish after the
    // link handler is logged.
    static bool appearsWithin(const std::string& path)
    {
        const auto deadline = Clock::now() + kWait;
        while (!fs::exists(path) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(path);
    }

    void expectDialled(peer::CalvettoPeer& peer, const std::string& text)
    {
        auto message = peer.receive(kWait);
        ASSERT_TRUE(message) << console();
        EXPECT_EQ(message->msgType(), Button_Combination_MakeCall_Pressed);
        EXPECT_EQ(message->msgPayload().value_or(Bytes{}), Bytes(text.begin(), text.end()));
    }
};

TEST_F(DesktopCompanionsTest, FreshHomeGetsTheCompanionsAndTheTelLinkHandler)
{
    ASSERT_TRUE(loggedWithin("Made telvora-call-via-calvetto.desktop the default handler of x-scheme-handler/callto"))
        << console();
    EXPECT_TRUE(appearsWithin(home + kWorkflow + "/Contents/Info.plist"));
    if (fs::exists(std::string(TELVORA_APP_DIR) + "/Contents/Resources/com.orvella.TVAbplugin.bundle")) {
        EXPECT_TRUE(appearsWithin(home + kPlugin + "/Contents/Info.plist"));
    }
    struct stat info {};
    ASSERT_EQ(::stat((home + kAction + "/Contents/MacOS/Call via Calvetto").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0111u);
    EXPECT_EQ(runCommand(inHome("xdg-mime query default x-scheme-handler/tel")).output,
              "telvora-call-via-calvetto.desktop");

    peer::CalvettoPeer peer;
    connect(peer);
    ASSERT_EQ(runCommand(inHome("xdg-open 'tel:+49%2030%201234-567' 2>&1")).status, 0);
    expectDialled(peer, "+49 30 1234-567");
}

TEST_F(DesktopCompanionsTest, TelvoraCallSendsTextUntrimmedAndBlanksNothing)
{
    peer::CalvettoPeer peer;
    connect(peer);
    // Blanks go first: had they been sent, they would be the next message.
    EXPECT_EQ(runCommand(telvoraCall("'   '")).status, 0);
    EXPECT_EQ(runCommand(telvoraCall("' 0171 555 '")).status, 0);
    expectDialled(peer, " 0171 555 ");
    // Standard input, one text per line.
    EXPECT_EQ(runCommand("printf '  \\n030 1\\n' | " + telvoraCall("")).status, 0);
    expectDialled(peer, "030 1");
    // Without a session bus the command says so.
    const auto noBus = runCommand(telvoraCall("123").insert(0, "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "
                                                               "XDG_RUNTIME_DIR=/nonexistent ") + " 2>&1");
    EXPECT_EQ(noBus.status, 1) << noBus.output;
    EXPECT_NE(noBus.output.find("session bus"), std::string::npos) << noBus.output;
}

class DesktopCompanionsSameAndLowerTest : public DesktopCompanionsTest {
    void prepareHome() override
    {
        makeItem(home + kAction, TELVORA_BUILD_NUMBER);
        makeItem(home + kWorkflow, "0.9");
    }
};

TEST_F(DesktopCompanionsSameAndLowerTest, SameIsKeptLowerIsReplaced)
{
    ASSERT_TRUE(loggedWithin("Updated Automator workflow copied succesfully")) << console();
    EXPECT_TRUE(loggedWithin("Automator action versions are the same no need to update"));
    EXPECT_TRUE(loggedWithin("Need to update the automator workflow"));
    EXPECT_TRUE(fs::exists(home + kAction + "/Contents/installed-by-test"));
    EXPECT_FALSE(fs::exists(home + kWorkflow + "/Contents/installed-by-test"));
    EXPECT_TRUE(fs::exists(home + kWorkflow + "/Contents/Resources/telvora-call-via-calvetto.desktop"));
}

class DesktopCompanionsHigherTest : public DesktopCompanionsTest {
    void prepareHome() override { makeItem(home + kAction, "1000.0"); }
};

TEST_F(DesktopCompanionsHigherTest, HigherIsKept)
{
    ASSERT_TRUE(loggedWithin("Automator action version installed is higher no need to update")) << console();
    EXPECT_TRUE(fs::exists(home + kAction + "/Contents/installed-by-test"));
}

}
}
