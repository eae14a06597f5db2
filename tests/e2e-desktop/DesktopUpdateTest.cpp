// An update installs itself end to end: a local server publishes an appcast and a signed archive
// of a copy of this build's bundle that claims a higher version; the person (xdotool) chooses
// "Check For Updates..." in the status menu, then Install Update and Install and Relaunch. The
// new version must be the one running afterwards, and a damaged, wrongly signed or short
// download must be refused with an alert while the running version stays untouched.
#include "DesktopTelvoraFixture.h"

#include "foundation/PropertyListSerialization.h"
#include "support/UpdateSigningKey.h"
#include "update/LocalHttpServer.h"

#include <signal.h>

#include <filesystem>
#include <mutex>
#include <regex>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kFeedPath = "/management/downloads/Appcast.xml";
constexpr const char* kNewBuild = "99";
constexpr const char* kNewVersion = "9.9.0";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Changes keys of a bundle's Info.plist.
void editInfo(const std::string& app, const std::map<std::string, std::string>& values)
{
    const std::string path = app + "/Contents/Info.plist";
    auto info = PropertyListSerialization::propertyListWithContentsOfFile(path);
    ASSERT_TRUE(info) << path;
    auto* dictionary = info->get<PlistDictionary>();
    ASSERT_TRUE(dictionary);
    for (const auto& [key, value] : values) (*dictionary)[key] = PlistValue(value);
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(*info, path, PropertyListSerialization::Format::XML));
}

class DesktopUpdateTest : public DesktopTelvoraFixture {
protected:
    void beforeStart() override
    {
        // The running Telvora: a copy of this build in a folder the user owns, trusting the test key.
        appDir = home + "/Apps/Telvora.app";
        fs::create_directories(home + "/Apps");
        fs::copy(TELVORA_APP_DIR, appDir, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        editInfo(appDir, {{"SUPublicEDKey", key.publicKeyBase64()}});
        // The release: the same files, a higher version; no second build.
        const std::string release = home + "/release";
        fs::create_directories(release);
        fs::copy(appDir, release + "/Telvora.app", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        editInfo(release + "/Telvora.app", {{"CFBundleVersion", kNewBuild}, {"CFBundleShortVersionString", kNewVersion}});
        ASSERT_EQ(runCommand("tar czf '" + home + "/release.tar.gz' -C '" + release + "' Telvora.app").status, 0);
        archive = readFile(home + "/release.tar.gz");
        fs::remove_all(release);
        oldInfo = readFile(appDir + "/Contents/Info.plist");
    }

    // Publishes `body` as the download of the release, announced with the archive's length and
    // the given signature.
    void publish(const std::string& body, const std::string& signature)
    {
        std::lock_guard lock(mutex);
        served = body;
        feed = R"(<?xml version="1.0" encoding="utf-8"?><rss version="2.0" xmlns:sparkle="urn:sparkle"><channel><item>
<title>Telvora 9.9</title><description><![CDATA[<h2>Telvora 9.9</h2><p>Installs itself.</p>]]></description>
<enclosure url=")" + server.url("/Telvora-9.9.0.tar.gz") + R"(" sparkle:version=")" + kNewBuild +
               R"(" sparkle:shortVersionString=")" + kNewVersion + R"(" length=")" + std::to_string(archive.size()) +
               R"(" type="application/gzip" sparkle:edSignature=")" + signature + R"("/></item></channel></rss>)";
    }

    // Calvetto names the server whose feed offers the release.
    void sendServerAddress()
    {
        peer::CalvettoPeer peer;
        connect(peer);
        const std::string address = "http://127.0.0.1:" + std::to_string(server.port());
        ASSERT_TRUE(peer.send(Ip_Address_Response, Bytes(address.begin(), address.end())));
        EXPECT_EQ(nextType(peer), Ip_Address_Response_ACK);
    }

    bool loggedEventually(const std::string& part, std::chrono::milliseconds timeout = kWait)
    {
        return waitUntil(
            [&] {
                for (const std::string& line : telvora->logLines())
                    if (line.find(part) != std::string::npos) return true;
                return false;
            },
            timeout, 100ms);
    }

    static std::string visibleWindow(const std::string& name)
    {
        return runCommand("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null | head -1").output;
    }

    // Waits for the window titled `name`, brings it to the front and presses its default button.
    void pressReturnIn(const std::string& name)
    {
        std::string window;
        ASSERT_TRUE(waitUntil([&] { return !(window = visibleWindow(name)).empty(); }, 3 * kWait))
            << name << "\n" << console();
        ASSERT_TRUE(xdotool("windowactivate --sync " + window));
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(xdotool("key Return"));
    }

    void chooseCheckForUpdates()
    {
        openStatusMenu();
        ASSERT_TRUE(xdotool("key --delay 80 Down Down Down Return")); // Contacts..., About, Check For Updates...
    }

    // The pid named in the lock file of the Telvora that holds it.
    std::optional<pid_t> lockHolder() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(home + "/Library"))
            if (entry.path().filename() == "Telvora.lock") {
                const std::string text = readFile(entry.path());
                if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) return std::stoi(text);
            }
        return std::nullopt;
    }

    std::vector<std::string> besideTheBundle() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(home + "/Apps")) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    const UpdateSigningKey key;
    std::string archive;
    std::string oldInfo;
    std::mutex mutex;
    std::string feed;
    std::string served;
    LocalHttpServer server{[this](const std::string& path) {
        std::lock_guard lock(mutex);
        if (path == kFeedPath) return LocalHttpServer::Response::withStatus(200, feed);
        if (path == "/Telvora-9.9.0.tar.gz") return LocalHttpServer::Response::withStatus(200, served);
        return LocalHttpServer::Response::withStatus(404, "not here");
    }};
};

TEST_F(DesktopUpdateTest, InstallNowReplacesTheRunningVersionWithTheSignedRelease)
{
    publish(archive, key.sign(archive));
    sendServerAddress();
    chooseCheckForUpdates();
    pressReturnIn("Software Update"); // Install Update
    ASSERT_TRUE(loggedEventually("is downloaded and verified", 6 * kWait)) << console();
    pressReturnIn("Software Update"); // Install and Relaunch

    const pid_t old = telvora->pid();
    EXPECT_EQ(telvora->waitForExit(3 * kWait), 0) << console();
    std::optional<pid_t> current;
    ASSERT_TRUE(waitUntil([&] { return (current = lockHolder()) && *current != old && ::kill(*current, 0) == 0; },
                          6 * kWait));
    // The new version serves the link (the old one is gone, so whoever answers is the new one),
    // and the old bundle is removed once the new one has come up.
    const auto serves = [&] {
        const auto newPort = telvora->waitForPort(100ms);
        peer::CalvettoPeer peer;
        if (!newPort || !peer.connect("127.0.0.1", *newPort)) return false;
        const auto first = peer.receive(2s);
        return first && first->msgType() == Ip_Address_Request;
    };
    EXPECT_TRUE(waitUntil(serves, 3 * kWait));
    EXPECT_TRUE(waitUntil([&] { return besideTheBundle() == std::vector<std::string>{"Telvora.app"}; }, 3 * kWait))
        << ::testing::PrintToString(besideTheBundle());
    const CommandResult version = runCommand("'" + appDir + "/Contents/MacOS/Telvora' --version");
    EXPECT_NE(version.output.find(std::string(kNewVersion) + " (Build " + kNewBuild + ")"), std::string::npos)
        << version.output;
    ::kill(*current, SIGTERM);
    waitUntil([&] { return ::kill(*current, 0) != 0; }, kWait);
}

TEST_F(DesktopUpdateTest, ADamagedWronglySignedOrShortDownloadIsRefusedWithAnAlert)
{
    const UpdateSigningKey stranger;
    std::string flipped = archive;
    flipped[flipped.size() / 2] ^= 0x01;
    const struct {
        const char* name;
        std::string body, signature, reason;
    } cases[] = {
        {"byte flipped", flipped, key.sign(archive), "does not match"},
        {"wrong signature", archive, stranger.sign(archive), "does not match"},
        {"short", archive.substr(0, archive.size() / 2), key.sign(archive), "ended after"},
    };
    sendServerAddress();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        publish(c.body, c.signature);
        chooseCheckForUpdates();
        pressReturnIn("Software Update");
        EXPECT_TRUE(loggedEventually(c.reason, 6 * kWait)) << console();
        pressReturnIn("Telvora"); // the alert's OK
        EXPECT_TRUE(waitUntil([] { return visibleWindow("Telvora").empty(); }, kWait));
        EXPECT_TRUE(telvora->isRunning());
        EXPECT_EQ(readFile(appDir + "/Contents/Info.plist"), oldInfo);
        EXPECT_EQ(besideTheBundle(), std::vector<std::string>{"Telvora.app"});
    }
}

}
}
