// Text capture of the real executable on an X11 desktop: a make-call press takes the selection
// of the application in front (a Qt text field, a terminal) and brings Calvetto to the front;
// a clipboard text with the marker is sent, an ordinary copy is neither sent nor logged.
#include "DesktopTelvoraFixture.h"
#include "support/ChildProcess.h"

#include <signal.h>

#include <algorithm>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

const std::string kPeerTool = std::string(TELVORA_BINARY_DIR) + "/tools/calvetto-peer/calvetto-peer";
const std::string kTextWindow = std::string(TELVORA_BINARY_DIR) + "/tools/test-textwindow/telvora-textwindow";
const std::string kCalvetto = "com.orvella.phoneclient";

std::string pressedLine(const std::string& text)
{
    return "<- 0x0b  11 Button_Combination_MakeCall_Pressed " + peer::toHex(Bytes(text.begin(), text.end()));
}

class DesktopCaptureTest : public DesktopTelvoraFixture {
protected:
    // The peer tool as Calvetto, with its window, holding make-call on F1.
    void startCalvetto()
    {
        ASSERT_TRUE(calvetto.start({kPeerTool, "--window", "--port", std::to_string(port), "make-call=F1",
                                    "expect=Button_Combination_MakeCall_Accepted", "--stay"},
                                   home + "/peer.txt", {"HOME=" + home}));
        ASSERT_TRUE(calvetto.waitForOutput("Button_Combination_MakeCall_Accepted", kWait)) << calvetto.output();
        ASSERT_NE(calvetto.output().find("window 0x"), std::string::npos) << calvetto.output();
    }

    static bool frontClassIs(const std::string& wanted) { return windowClass(activeWindow()) == wanted; }

    // Calvetto's own window (by class and pid) is the active one.
    void expectCalvettoInFront()
    {
        EXPECT_TRUE(waitUntil([] { return frontClassIs(kCalvetto); }, kWait))
            << "the active window is of class \"" << windowClass(activeWindow()) << "\"";
        EXPECT_EQ(windowPid(activeWindow()), calvetto.pid());
    }

    ChildProcess calvetto;
};

TEST_F(DesktopCaptureTest, MakeCallTakesTheSelectedTextOfAQtFieldAndBringsCalvettoToTheFront)
{
    startCalvetto();
    ChildProcess field;
    ASSERT_TRUE(field.start({kTextWindow, "+49 89 1234-5678"}, home + "/textwindow.txt"));
    ASSERT_TRUE(waitUntil([] { return frontClassIs("telvora-textwindow"); }, kWait)) << field.output();

    ASSERT_TRUE(xdotool("key F1"));
    EXPECT_TRUE(calvetto.waitForOutput(pressedLine("+49 89 1234-5678"), kWait)) << calvetto.output() << console();
    expectCalvettoInFront();
    EXPECT_TRUE(field.isRunning());
}

TEST_F(DesktopCaptureTest, MakeCallInATerminalTakesItsSelectionWithoutInterruptingItsProgram)
{
    startCalvetto();
    // The shell becomes the sleep (exec), so the pid it writes is the sleep's.
    const std::string pidFile = home + "/sleep.pid";
    ChildProcess terminal;
    ASSERT_TRUE(terminal.start({"xterm", "-fa", "DejaVu Sans Mono", "-fs", "11", "-e", "sh", "-c",
                                "echo $$ > '" + pidFile + "'; echo 0891234567; exec sleep 600"},
                               home + "/xterm.txt"));
    ASSERT_TRUE(waitUntil([] { return frontClassIs("XTerm"); }, kWait)) << terminal.output();
    pid_t sleepPid = 0;
    ASSERT_TRUE(waitUntil([&] { return (std::ifstream(pidFile) >> sleepPid) && sleepPid > 0; }, kWait));
    auto sleeping = [&] { return runCommand("cat /proc/" + std::to_string(sleepPid) + "/comm 2>/dev/null").output == "sleep"; };
    ASSERT_TRUE(waitUntil(sleeping, kWait));

    // Select the number as a person does, with a double click on it (first line, first word):
    // the terminal then owns PRIMARY, which is what a terminal's selection is.
    const std::string window = std::to_string(activeWindow());
    ASSERT_TRUE(xdotool("mousemove --window " + window + " 14 10 click --repeat 2 --delay 80 1"));
    ASSERT_TRUE(waitUntil([] { return runCommand("xclip -o -selection primary 2>/dev/null").output == "0891234567"; }, kWait))
        << "the double click selected \"" << runCommand("xclip -o -selection primary 2>/dev/null").output << "\"";

    ASSERT_TRUE(xdotool("key F1"));
    EXPECT_TRUE(calvetto.waitForOutput(pressedLine("0891234567"), kWait)) << calvetto.output() << console();
    expectCalvettoInFront();
    // An interrupt posted into the terminal would have ended the sleep by now; give a late one a moment.
    EXPECT_FALSE(waitUntil([&] { return !sleeping(); }, 500ms)) << "the terminal's program was interrupted";
    EXPECT_TRUE(terminal.isRunning());
}

TEST_F(DesktopCaptureTest, ClipboardTextWithTheMarkerIsSentAndAnOrdinaryCopyStaysPrivate)
{
    CalvettoPeer peer;
    connect(peer);
    const std::string ordinaryFile = home + "/ordinary.txt";
    const std::string markerFile = home + "/marker.txt";
    std::ofstream(ordinaryFile) << "private note 4711-0815";
    std::ofstream(markerFile) << "call TVAutomator:\n0891234567";

    // xclip stays in the foreground (-quiet) serving the text until the next owner takes over.
    ChildProcess ordinary;
    ASSERT_TRUE(ordinary.start({"xclip", "-quiet", "-selection", "clipboard", "-i"}, home + "/xclip1.txt", {}, ordinaryFile));
    auto ordinaryLogged = [&] {
        const auto lines = telvora->logLines();
        return std::find(lines.begin(), lines.end(), "TVIAppDelegate: Normal pasteboard operation") != lines.end();
    };
    ASSERT_TRUE(waitUntil(ordinaryLogged, kWait)) << "the ordinary copy was not seen\n" << console();

    ChildProcess marked;
    ASSERT_TRUE(marked.start({"xclip", "-quiet", "-selection", "clipboard", "-i"}, home + "/xclip2.txt", {}, markerFile));
    // The first message after the ordinary copy is the marked text: the copy itself was not sent.
    auto message = peer.receive(kWait);
    ASSERT_TRUE(message) << console();
    EXPECT_EQ(message->msgType(), Button_Combination_MakeCall_Pressed);
    EXPECT_EQ(message->msgPayload().value_or(Bytes{}), (Bytes{'0', '8', '9', '1', '2', '3', '4', '5', '6', '7'}));

    EXPECT_EQ(telvora->terminate().value_or(-1), 0);
    for (const auto& line : telvora->logLines()) EXPECT_EQ(line.find("4711-0815"), std::string::npos) << line;
    EXPECT_EQ(console().find("4711-0815"), std::string::npos);
}

}
}
