#include "update/SUUpdater.h"

#include "update/SUInstallationHost.h"
#include "update/SUUpdateSession.h"

#include "LocalHttpServer.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/DispatchTimer.h"
#include "foundation/MainRunLoop.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryAlerts.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"
#include "support/UpdateSigningKey.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace tvi {
namespace {

using test::LocalHttpServer;
using Choice = SUUserDriver::UpdateChoice;

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A bundle whose executable answers --version as Telvora does.
void makeBundle(const std::string& app, const std::string& version, const std::string& publicKey)
{
    fs::create_directories(app + "/Contents/MacOS");
    writeFile(app + "/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleExecutable</key><string>Telvora</string>
<key>CFBundleIdentifier</key><string>com.orvella.Telvora</string>
<key>CFBundleShortVersionString</key><string>)" + version + R"(</string>
<key>CFBundleVersion</key><string>)" + version + R"(</string>
<key>SUPublicEDKey</key><string>)" + publicKey + R"(</string>
</dict></plist>
)");
    const std::string executable = app + "/Contents/MacOS/Telvora";
    writeFile(executable, "#!/bin/sh\necho \"Telvora " + version + " (Build " + version + ")\"\n");
    ::chmod(executable.c_str(), 0755);
}

// Records what the window would show and answers as scripted; stops the main loop where the
// flow waits for the person or ends.
class ScriptedDriver : public SUUserDriver {
public:
    Choice choice = Choice::Install;
    bool installNow = false;
    int offers = 0;
    bool lastOfferDownloaded = false;
    int readies = 0;
    int dismissals = 0;
    std::uint64_t lastReceived = 0;

    void showUpdateFound(const Offer& offer, std::function<void(Choice)> reply) override
    {
        ++offers;
        lastOfferDownloaded = offer.downloaded;
        reply(choice);
    }
    void showDownloadStarted(std::function<void()>) override {}
    void showDownloadProgress(std::uint64_t received, std::uint64_t) override { lastReceived = received; }
    void showPreparing() override {}
    void showReadyToInstall(std::function<void(bool)> reply) override
    {
        ++readies;
        reply(installNow);
    }
    void showInstalling() override {}
    void dismissUpdate() override { ++dismissals; }
};

class SUUpdateSessionTest : public ::testing::Test {
protected:
    SUUpdateSessionTest()
    {
        makeBundle(host_, "2.1.0", key_.publicKeyBase64());
        Bundle::setMainBundle(Bundle(host_, {"en"}));
        makeBundle(dir_ + "/new/Telvora.app", "2.2.0", key_.publicKeyBase64());
        EXPECT_EQ(std::system(("tar czf '" + dir_ + "/new.tar.gz' -C '" + dir_ + "/new' Telvora.app").c_str()), 0);
        archive_ = readFile(dir_ + "/new.tar.gz");
        updater_.setUserDriver(driver_);
        updater_.setFeedURL(server_.url("/Appcast.xml"));
    }
    ~SUUpdateSessionTest() override { Bundle::setMainBundle(std::nullopt); }

    // The feed offers `version` with the archive as served; `attributes` replace length and signature.
    void publish(const std::string& version, const std::string& body, std::string attributes = {},
                 const std::string& file = "Telvora.tar.gz", const std::string& type = "application/gzip")
    {
        if (attributes.empty())
            attributes = "length=\"" + std::to_string(archive_.size()) + "\" sparkle:edSignature=\"" +
                         key_.sign(archive_) + "\"";
        publishAt(server_.url("/" + version + "/" + file), version, body, attributes, type);
    }

    void publishAt(const std::string& url, const std::string& version, const std::string& body,
                   const std::string& attributes, const std::string& type = "application/gzip")
    {
        std::lock_guard lock(mutex_);
        served_ = body;
        feed_ = R"(<?xml version="1.0" encoding="utf-8"?><rss version="2.0"><channel><item>
<enclosure url=")" + url + R"(" sparkle:version=")" + version +
                R"(" type=")" + type + R"(" )" + attributes + R"(/></item></channel></rss>)";
    }

    void check(bool userInitiated)
    {
        if (userInitiated) updater_.checkForUpdates();
        else updater_.checkForUpdatesInBackground();
        // Until the check and whatever session it started have ended.
        serveUntil([this] { return !updater_.isCheckingForUpdates() && !updater_.isUpdating(); });
    }

    // A check the user asked for that ends in the one alert saying the update could not be
    // installed, for `reason`.
    void checkFailsToInstall(const std::string& reason)
    {
        check(true);
        const auto shown = alerts_->shownAlerts();
        alerts_->reset();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].messageText, "The update could not be installed.");
        EXPECT_NE(shown[0].informativeText.find(reason), std::string::npos) << shown[0].informativeText;
    }

    void serveUntil(std::function<bool()> done)
    {
        const auto watch = DispatchTimer::scheduled(DispatchQueue::main(), 10ms, true, [done] {
            if (done()) MainRunLoop::shared().stop();
        });
        std::atomic<bool> returned{false};
        std::thread guard([&] {
            for (int i = 0; i < 1000 && !returned; ++i) std::this_thread::sleep_for(10ms);
            if (!returned) MainRunLoop::shared().stop();
        });
        MainRunLoop::shared().run();
        returned = true;
        guard.join();
        watch->invalidate();
    }

    // What the Updates folder holds (the relauncher's log aside).
    static std::vector<std::string> inTheUpdatesFolder()
    {
        std::vector<std::string> names;
        std::error_code absent;
        for (const auto& entry : fs::directory_iterator(SUInstallationHost::current().workFolder, absent))
            if (entry.path().filename() != "relauncher.log") names.push_back(entry.path().filename());
        return names;
    }

    std::vector<std::string> besideTheBundle() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ + "/Apps")) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string dir_ = test::makeTempDir("session");
    const std::string host_ = dir_ + "/Apps/Telvora.app";
    const test::UpdateSigningKey key_;
    std::string archive_;
    std::mutex mutex_;
    std::string feed_;
    std::string served_;
    LocalHttpServer server_{[this](const std::string& path) {
        std::lock_guard lock(mutex_);
        return LocalHttpServer::Response::withStatus(200, path == "/Appcast.xml" ? feed_ : served_);
    }};
    UserDefaults defaults_{"com.orvella.Telvora", dir_ + "/defaults.plist"};
    std::shared_ptr<MemoryAlerts> alerts_ = std::make_shared<MemoryAlerts>();
    Platform::Scoped<Alerts> installed_{alerts_};
    std::shared_ptr<ScriptedDriver> driver_ = std::make_shared<ScriptedDriver>();
    SUUpdater updater_{defaults_};
};

TEST_F(SUUpdateSessionTest, WhatIsNotExactlyTheSignedNewerReleaseIsRefusedAndChangesNothing)
{
    const test::UpdateSigningKey stranger;
    std::string flipped = archive_;
    flipped[flipped.size() / 2] ^= 0x20;
    const std::string length = "length=\"" + std::to_string(archive_.size()) + "\"";
    const std::string signature = "sparkle:edSignature=\"" + key_.sign(archive_) + "\"";
    // A signed archive of an older release announced as a newer one: no downgrade through the back door.
    makeBundle(dir_ + "/old/Telvora.app", "2.0.0", key_.publicKeyBase64());
    ASSERT_EQ(std::system(("tar czf '" + dir_ + "/old.tar.gz' -C '" + dir_ + "/old' Telvora.app").c_str()), 0);
    const std::string older = readFile(dir_ + "/old.tar.gz");
    struct Case {
        const char* name;
        std::string version, body, attributes, reason;
    };
    const std::vector<Case> cases = {
        {"byte flipped", "2.2.0", flipped, "", "does not match"},
        {"stranger's signature", "2.2.0", archive_,
         length + " sparkle:edSignature=\"" + stranger.sign(archive_) + "\"", "does not match"},
        {"short download", "2.2.0", archive_.substr(0, archive_.size() - 100), "", "ended after"},
        {"longer than announced", "2.2.0", archive_ + "trailing", "", "longer than"},
        {"unsigned", "2.2.0", archive_, length, "not signed"},
        {"no length", "2.2.0", archive_, signature, "no length"},
        {"older bundle inside", "2.2.0", older,
         "length=\"" + std::to_string(older.size()) + "\" sparkle:edSignature=\"" + key_.sign(older) + "\"",
         "is version 2.0.0, not the announced 2.2.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        publish(c.version, c.body, c.attributes);
        ASSERT_NO_FATAL_FAILURE(checkFailsToInstall(c.reason));
        EXPECT_EQ(driver_->readies, 0);
        EXPECT_EQ(besideTheBundle(), std::vector<std::string>{"Telvora.app"});
        EXPECT_NE(readFile(host_ + "/Contents/Info.plist").find("2.1.0"), std::string::npos);
    }
}

TEST_F(SUUpdateSessionTest, AVerifiedBundleIsSwappedInAtQuitAndTheOldOneGoesOnceTheNewOneRuns)
{
    publish("2.2.0", archive_);
    check(true);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
    ASSERT_EQ(driver_->readies, 1); // "Later" at the ready step: installed when Telvora quits
    EXPECT_EQ(driver_->lastReceived, archive_.size());
    EXPECT_TRUE(updater_.hasUpdateToInstallOnQuit());

    // Nothing of the download is left over; the unpacked bundle waits beside the running one.
    const std::string downloads = SUInstallationHost::current().workFolder;
    ASSERT_FALSE(downloads.empty());
    EXPECT_EQ(fs::status(downloads).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(inTheUpdatesFolder().empty());
    updater_.installUpdateOnQuit();
    EXPECT_NE(readFile(host_ + "/Contents/Info.plist").find("2.2.0"), std::string::npos);
    EXPECT_EQ(besideTheBundle(), (std::vector<std::string>{".Telvora.app-previous-2.1.0", "Telvora.app"}));
    updater_.removePreviousBundle(); // the new version's start
    EXPECT_EQ(besideTheBundle(), std::vector<std::string>{"Telvora.app"});
}

TEST_F(SUUpdateSessionTest, AutomaticUpdatingDownloadsSilentlyAndInstallsAtQuit)
{
    updater_.setAutomaticallyDownloadsUpdates(true);
    publish("2.2.0", archive_);
    check(false);
    EXPECT_EQ(driver_->offers, 0);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
    EXPECT_TRUE(updater_.hasUpdateToInstallOnQuit());
    // A failing silent download says nothing either.
    publish("2.3.0", archive_.substr(1));
    check(false);
    EXPECT_EQ(driver_->offers, 0);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
}

TEST_F(SUUpdateSessionTest, AnAutomaticallyDownloadedPackageIsOfferedOnceAndInstalledThroughTheHelper)
{
    // The package road with stand-ins: pkexec runs the helper, which records what it was given,
    // and the bundle's relauncher records how it was started.
    const auto script = [](const std::string& path, const std::string& body) {
        writeFile(path, "#!/bin/sh\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
    };
    script(dir_ + "/pkexec", "exec \"$@\"");
    script(dir_ + "/helper", "printf '%s\\n' \"$@\" > '" + dir_ + "/helper-args'");
    script(host_ + "/Contents/MacOS/telvora-relauncher", "printf '%s\\n' \"$@\" > '" + dir_ + "/relauncher-args.new' && "
           "mv '" + dir_ + "/relauncher-args.new' '" + dir_ + "/relauncher-args'");
    updater_.setInstallationHostProvider([this] {
        SUInstallationHost host = SUInstallationHost::current();
        host.kind = SUInstallationHost::Kind::Package;
        host.pkexecProgram = dir_ + "/pkexec";
        host.packageHelper = dir_ + "/helper";
        return host;
    });
    bool terminated = false;
    updater_.setTerminationHandler([&terminated] { terminated = true; });
    updater_.setAutomaticallyDownloadsUpdates(true);
    const std::string package = "!<arch>\ndebian-binary   a package of Telvora 2.2";
    const std::string signature = key_.sign(package);
    publish("2.2.0", package,
            "length=\"" + std::to_string(package.size()) + "\" sparkle:edSignature=\"" + signature + "\"",
            "telvora_2.2.0-1_amd64.deb", "application/vnd.debian.binary-package");

    check(false);
    ASSERT_EQ(driver_->offers, 1);
    EXPECT_TRUE(driver_->lastOfferDownloaded);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(dir_ + "/relauncher-args"); }, 5s));
    const std::string helperArgs = readFile(dir_ + "/helper-args");
    EXPECT_NE(helperArgs.find("/update.deb\n" + signature + "\n2.2.0\n"), std::string::npos)
        << helperArgs;
    const std::string relauncherArgs = readFile(dir_ + "/relauncher-args");
    EXPECT_NE(relauncherArgs.find("--bundle\n" + host_ + "\n"), std::string::npos) << relauncherArgs;
    EXPECT_EQ(relauncherArgs.find("--new-bundle"), std::string::npos) << relauncherArgs;
    EXPECT_TRUE(terminated);

    // The next scheduled check downloads it again but does not ask a second time.
    check(false);
    EXPECT_EQ(driver_->offers, 1);
}

TEST_F(SUUpdateSessionTest, ASkippedVersionIsOfferedOnlyWhenTheUserAsks)
{
    publish("2.2.0", archive_);
    driver_->choice = Choice::Skip;
    check(false);
    EXPECT_EQ(driver_->offers, 1);
    EXPECT_EQ(updater_.skippedVersion(), "2.2.0");
    check(false);
    EXPECT_EQ(driver_->offers, 1);
    driver_->choice = Choice::RemindLater;
    check(true);
    EXPECT_EQ(driver_->offers, 2);
    // A newer release than the skipped one is offered again by the schedule.
    publish("2.3.0", archive_);
    check(false);
    EXPECT_EQ(driver_->offers, 3);
    EXPECT_EQ(besideTheBundle(), std::vector<std::string>{"Telvora.app"});
}


TEST_F(SUUpdateSessionTest, AFeedVersionThatClimbsOutOfTheUpdatesFolderRemovesNothingOutsideIt)
{
    // From the Updates folder, five steps up and into the user's documents.
    const std::string climbing = "99/../../../../../Documents";
    const std::string documents = test::testHome() + "/Documents";
    fs::create_directories(documents);
    writeFile(documents + "/letter.txt", "Dear Ms Okafor");
    const auto untouched = [&] { return readFile(documents + "/letter.txt") == "Dear Ms Okafor"; };
    const std::string halfway = archive_.substr(0, archive_.size() / 2);
    const std::string signature = key_.sign(archive_);
    publish(climbing, halfway,
            "sparkle:shortVersionString=\"2.2\" length=\"" + std::to_string(archive_.size()) +
                "\" sparkle:edSignature=\"" + signature + "\"");
    check(true);
    EXPECT_TRUE(untouched());
    updater_.setAutomaticallyDownloadsUpdates(true);
    check(false);
    EXPECT_TRUE(untouched());

    // Nor when such an item reaches a session by another way and its download breaks off half-way:
    // the download goes into a folder of the session's own making.
    SUAppcastItem item;
    item.versionString = climbing;
    item.displayVersionString = "2.2";
    item.enclosures.push_back({server_.url("/Telvora.tar.gz"), archive_.size(), "application/gzip", signature});
    for (const bool interactive : {true, false}) {
        SCOPED_TRACE(interactive ? "offered" : "silent");
        bool finished = false;
        SUUpdateSession::Hooks hooks;
        hooks.finished = [&finished] { finished = true; };
        const auto session =
            SUUpdateSession::make(item, SUInstallationHost::current(), driver_, SUFeedFetcher::Options{}, hooks);
        if (interactive) session->offer(true);
        else session->downloadSilently();
        serveUntil([&finished] { return finished; });
        ASSERT_TRUE(finished);
        EXPECT_TRUE(untouched());
        EXPECT_TRUE(inTheUpdatesFolder().empty());
    }
    EXPECT_EQ(besideTheBundle(), std::vector<std::string>{"Telvora.app"});
}

TEST_F(SUUpdateSessionTest, ADownloadThatCouldFillTheDiskIsRefusedBeforeAnythingIsFetched)
{
    const std::string signature = "\" sparkle:edSignature=\"" + key_.sign(archive_) + "\"";
    const std::string size = std::to_string(archive_.size());
    struct Case {
        const char* name;
        std::string url, length, reason;
    };
    const std::vector<Case> cases = {
        {"a local file", "file:///dev/zero", size, "http or https"},
        {"just above 512 MiB", server_.url("/2.2.0/Telvora.tar.gz"), "536870913", "larger than 512 MiB"},
        {"nineteen digits", server_.url("/2.2.0/Telvora.tar.gz"), "9999999999999999999", "larger than 512 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        publishAt(c.url, "2.2.0", archive_, "length=\"" + c.length + signature);
        ASSERT_NO_FATAL_FAILURE(checkFailsToInstall(c.reason));
        for (const std::string& path : server_.paths()) EXPECT_EQ(path, "/Appcast.xml");
        EXPECT_TRUE(inTheUpdatesFolder().empty());
    }
}

}
}
