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
#include <string>

namespace tvi::test {

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
        telvora = std::make_unique<peer::TelvoraProcess>(std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora", home);
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

    std::string home;
    std::unique_ptr<peer::TelvoraProcess> telvora;
    std::uint16_t port = 0;
};

}
