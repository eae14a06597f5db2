// The real executable, headless in a throw-away HOME: the server address Calvetto sends
// becomes the update feed, and the scheduled check reads the appcast from it.
#include "TelvoraProcess.h"
#include "foundation/PropertyListSerialization.h"
#include "support/TestHome.h"
#include "update/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::TelvoraProcess;

const std::string kExecutable = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";
const std::string kPeerTool = std::string(TELVORA_BINARY_DIR) + "/tools/calvetto-peer/calvetto-peer";
constexpr const char* kFeedPath = "/management/downloads/Appcast.xml";

const std::string kAppcast = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Telvora</title>
    <item><title>Telvora 9.9</title>
      <enclosure url="https://example.org/Telvora-9.9.zip" sparkle:version="99" sparkle:shortVersionString="9.9"/>
    </item>
  </channel>
</rss>
)";

// Not a first run, automatic checks on, two seconds between them: what a user could set.
void writePreferences(const std::string& home)
{
    const std::string folder = home + "/Library/Preferences";
    std::filesystem::create_directories(folder);
    PlistDictionary settings;
    settings["TVIFirstRun"] = PlistValue(false);
    settings["SUEnableAutomaticChecks"] = PlistValue(true);
    settings["SUScheduledCheckInterval"] = PlistValue(std::int64_t{2});
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
        PlistValue(settings), folder + "/com.orvella.Telvora.plist", PropertyListSerialization::Format::XML));
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout)
{
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

TEST(UpdateFeedTest, TheAddressCalvettoSendsLeadsToACheckThatReadsItsAppcast)
{
    LocalHttpServer server([](const std::string& path) {
        return path == kFeedPath ? LocalHttpServer::Response::withStatus(200, kAppcast)
                                 : LocalHttpServer::Response::withStatus(404, "not here");
    });
    ASSERT_NE(server.port(), 0);
    const std::string home = makeTempDir("e2e-feed-home");
    writePreferences(home);
    TelvoraProcess telvora(kExecutable, home);
    ASSERT_TRUE(telvora.start({"--headless"}, home + "/console.txt"));
    ASSERT_TRUE(telvora.waitForPort(10s));

    const std::string address = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string command = "HOME='" + home + "' '" + kPeerTool + "' --ip '" + address +
                                "' expect=Ip_Address_Response_ACK --linger 100 > '" + home + "/peer.txt' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const auto appcastRead = [&] {
        const auto paths = server.paths();
        return std::find(paths.begin(), paths.end(), kFeedPath) != paths.end();
    };
    const std::string available = "SUUpdater: Update check: version 9.9 is available, running 1.0.0";
    const auto reported = [&] {
        const auto lines = telvora.logLines();
        return std::find(lines.begin(), lines.end(), available) != lines.end();
    };
    EXPECT_TRUE(waitFor(appcastRead, 15s)) << "requests: " << server.requestCount();
    EXPECT_TRUE(waitFor(reported, 5s));
    EXPECT_EQ(telvora.terminate(), 0);

    const auto lines = telvora.logLines();
    const std::string feed = address + kFeedPath;
    for (const std::string& line : {"TVIAppDelegate: => constructFeedUrl -> returned path:" + feed,
                                    "TVIAppDelegate: => setFeedForUpdate -> Current Url to set : " + feed})
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
}

}
}
