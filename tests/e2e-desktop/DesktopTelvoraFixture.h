#pragma once
// The real executable in desktop mode on the session's display, in a throw-away HOME,
// driven over loopback like Calvetto. Shared by the whole-process desktop tests.
#include "CalvettoPeer.h"
#include "PeerCommand.h"
#include "TelvoraProcess.h"
#include "link/TVIMessageTypes.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <string>

namespace tvi::test {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The absolute geometry of a window, from xwininfo.
inline std::optional<Geometry> geometryOf(const std::string& window)
{
    const CommandResult info = runCommand("xwininfo -id " + window + " 2>/dev/null");
    if (info.status != 0) return std::nullopt;
    Geometry g;
    std::istringstream lines(info.output);
    std::string line;
    auto value = [&](const char* label, int& field) {
        const auto at = line.find(label);
        if (at != std::string::npos) field = std::stoi(line.substr(at + std::string(label).size()));
    };
    while (std::getline(lines, line)) {
        value("Absolute upper-left X:", g.x);
        value("Absolute upper-left Y:", g.y);
        value("Width:", g.width);
        value("Height:", g.height);
    }
    return g;
}

// Telvora's icon: a child of trayer's panel window with Telvora's class.
inline std::string trayIconWindow()
{
    return runCommand("xwininfo -root -tree | awk '/\"panel\": \\(\"panel\" \"trayer\"\\)/ {in_panel=1; next} "
                      "in_panel && /\\(\"Telvora\" \"Telvora\"\\)/ {print $1; exit}'")
        .output;
}

// A mapped pop-up window of Telvora (the status menu: the popover is not opened here); empty
// when there is none. Pop-ups bypass the window manager and sit on the root window (the docked
// icon sits in the tray); the icon's tool tip is one too, but says what it is.
inline std::string menuWindow()
{
    return runCommand("for w in $(xdotool search --onlyvisible --class Telvora); do "
                      "xwininfo -id $w | grep -q 'Override Redirect State: yes' && "
                      "xwininfo -children -id $w | grep -q 'Parent window id: .*(the root window)' && "
                      "! xprop -id $w _NET_WM_WINDOW_TYPE | grep -q TOOLTIP && { echo $w; break; }; done")
        .output;
}

class DesktopTelvoraFixture : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;
    // Generous: a sanitizer build on a busy machine is slow, and a miss fails anyway.
    static constexpr std::chrono::seconds kWait{10};

    void SetUp() override
    {
        const std::string problem = desktopSessionProblem();
        ASSERT_TRUE(problem.empty()) << problem;
        home = makeTempDir("desktop-home");
        prepareHome();
        beforeStart();
        if (HasFatalFailure()) return;
        startTelvora();
    }

    // Prepares the HOME or the environment of the first start.
    virtual void beforeStart() {}

    void startTelvora()
    {
        telvora = std::make_unique<peer::TelvoraProcess>(appDir + "/Contents/MacOS/Telvora", home);
        telvora->keepDisplay();
        ASSERT_TRUE(telvora->start({}, home + "/console.txt"));
        auto found = telvora->waitForPort(std::chrono::seconds(20));
        ASSERT_TRUE(found) << "Telvora wrote no port file; its output:\n" << console();
        port = *found;
    }

    // What a test puts into the HOME before Telvora starts.
    virtual void prepareHome() {}

    void TearDown() override
    {
        if (telvora) telvora->terminate();
    }

    // A client that has already received the Ip_Address_Request every connection starts with.
    void connect(peer::CalvettoPeer& peer)
    {
        ASSERT_TRUE(peer.connect("127.0.0.1", port));
        auto first = peer.receive(kWait);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->msgType(), Ip_Address_Request);
    }

    // Sends a combination request such as "Ctrl+F5" and returns the type of the answer (-1: none).
    int request(peer::CalvettoPeer& peer, std::uint8_t requestType, const std::string& keys)
    {
        const auto payload = peer::combinationPayload(keys);
        EXPECT_TRUE(payload) << keys;
        EXPECT_TRUE(peer.send(requestType, payload.value_or(Bytes{})));
        return nextType(peer);
    }

    static int nextType(peer::CalvettoPeer& peer, std::chrono::milliseconds timeout = kWait)
    {
        auto message = peer.receive(timeout);
        return message ? message->msgType() : -1;
    }

    std::string console() const
    {
        std::ifstream in(home + "/console.txt", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // Runs an xdotool command line ("key ctrl+F5"); true when it succeeded.
    static bool xdotool(const std::string& arguments)
    {
        return runCommand("xdotool " + arguments + " 2>&1").status == 0;
    }

    // Clicks the tray icon and waits for the status menu.
    void openStatusMenu()
    {
        std::string icon;
        ASSERT_TRUE(waitUntil([&] { return !(icon = trayIconWindow()).empty(); }, kWait))
            << runCommand("xwininfo -root -tree").output;
        iconGeometry = geometryOf(icon).value_or(Geometry{});
        ASSERT_TRUE(xdotool("mousemove --window " + icon + " 11 11 click 1"));
        ASSERT_TRUE(waitUntil([] { return !menuWindow().empty(); }, kWait)) << console();
        // The menu takes the keyboard just after it maps; keys sent before go to the window behind.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::string home;
    // The bundle started: the build's, unless a test starts a copy.
    std::string appDir = TELVORA_APP_DIR;
    Geometry iconGeometry;
    std::unique_ptr<peer::TelvoraProcess> telvora;
    std::uint16_t port = 0;
};

}
