#include "update/SUUpdater.h"

#include "LocalHttpServer.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryAlerts.h"
#include "support/DrainMainQueue.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

namespace tvi {
namespace {

using Outcome = SUUpdateCheckResult::Outcome;
using test::LocalHttpServer;

std::string appcast(const std::string& version, const std::string& shortVersion)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Telvora</title>
<item><title>Old</title><enclosure url="https://example.org/old.zip" sparkle:version="0.1" sparkle:shortVersionString="0.1"/></item>
<item><title>Release</title><enclosure url="https://example.org/new.zip" sparkle:version=")" +
           version + R"(" sparkle:shortVersionString=")" + shortVersion + R"("/></item>
</channel></rss>
)";
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Serves the main queue until stop(), bounded so that a lost report fails instead of hanging.
void runMainLoop() { test::runMainLoopAtMost(10s, "the main loop was not stopped"); }

class SUUpdaterCheckTest : public ::testing::Test {
protected:
    SUUpdaterCheckTest()
    {
        // The running application: Telvora 2.1 (machine version 2.1.0).
        const std::string app = dir_ + "/Telvora.app";
        std::filesystem::create_directories(app + "/Contents/MacOS");
        writeFile(app + "/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleExecutable</key><string>Telvora</string>
<key>CFBundleShortVersionString</key><string>2.1</string>
<key>CFBundleVersion</key><string>2.1.0</string>
</dict></plist>
)");
        Bundle::setMainBundle(Bundle(app, {"en"}));
        SUFeedFetcher::Options quick;
        quick.connectTimeout = 2s;
        quick.timeout = 3s;
        updater_.setFetchOptions(quick);
        dateObserver_ = NotificationCenter::defaultCenter().addObserver(
            "lastUpdateCheckDateUpdated", nullptr, [this](const Notification&) { ++datePosts_; });
    }
    ~SUUpdaterCheckTest() override
    {
        NotificationCenter::defaultCenter().removeObserver(dateObserver_);
        Bundle::setMainBundle(std::nullopt);
    }

    std::string feedFile(const std::string& text)
    {
        const std::string path = dir_ + "/Appcast.xml";
        writeFile(path, text);
        return "file://" + path;
    }

    SUUpdateCheckResult check(bool userInitiated = true)
    {
        SUUpdateCheckResult result;
        auto done = [&result](const SUUpdateCheckResult& r) {
            result = r;
            MainRunLoop::shared().stop();
        };
        if (userInitiated) updater_.checkForUpdates(done);
        else updater_.checkForUpdatesInBackground(done);
        runMainLoop();
        return result;
    }

    // The one alert shown since the last call.
    Alert onlyAlert()
    {
        auto shown = alerts_->shownAlerts();
        alerts_->reset();
        EXPECT_EQ(shown.size(), 1u);
        return shown.empty() ? Alert{} : shown.front();
    }

    void expectFailureAlert(const std::string& detail)
    {
        const Alert alert = onlyAlert();
        EXPECT_EQ(alert.alertStyle, AlertStyle::Warning);
        EXPECT_EQ(alert.messageText, "Update check failed.");
        EXPECT_NE(alert.informativeText.find(detail), std::string::npos) << alert.informativeText;
        EXPECT_EQ(alert.buttons, std::vector<std::string>{"OK"});
    }

    const std::string dir_ = test::makeTempDir("update");
    UserDefaults defaults_{"com.orvella.Telvora", dir_ + "/defaults.plist"};
    std::shared_ptr<MemoryAlerts> alerts_ = std::make_shared<MemoryAlerts>();
    Platform::Scoped<Alerts> installed_{alerts_};
    SUUpdater updater_{defaults_};
    NotificationCenter::ObserverToken dateObserver_ = 0;
    int datePosts_ = 0;
};

TEST_F(SUUpdaterCheckTest, FileFeedWithNewerSameAndOlderVersion)
{
    updater_.setFeedURL(feedFile(appcast("2.2.0", "2.2")));
    const auto before = std::chrono::system_clock::now();
    SUUpdateCheckResult result = check();
    EXPECT_EQ(result.outcome, Outcome::UpdateAvailable);
    Alert alert = onlyAlert();
    EXPECT_EQ(alert.alertStyle, AlertStyle::Informational);
    EXPECT_EQ(alert.messageText, "A new version of Telvora is available!");
    EXPECT_EQ(alert.informativeText, "Telvora 2.2 is now available; you have 2.1.");
    ASSERT_TRUE(updater_.lastUpdateCheckDate());
    EXPECT_GE(*updater_.lastUpdateCheckDate(), before);
    EXPECT_EQ(datePosts_, 1);

    for (const auto& [version, shortVersion] : {std::pair{"2.1.0", "2.1"}, std::pair{"2.0.9", "2.0.9"}}) {
        updater_.setFeedURL(feedFile(appcast(version, shortVersion)));
        EXPECT_EQ(check().outcome, Outcome::NoUpdateAvailable) << version;
        alert = onlyAlert();
        EXPECT_EQ(alert.messageText, "You're up to date!");
        EXPECT_EQ(alert.informativeText, "Telvora 2.1 is currently the newest version available.");
    }
    EXPECT_EQ(datePosts_, 3);
}

TEST_F(SUUpdaterCheckTest, FeedsThatCannotBeReadGiveAnErrorAlertAndRecordNoCheck)
{
    const std::string missing = dir_ + "/missing.xml";
    const std::string truncated = appcast("9.0", "9.0").substr(0, 300);
    const std::pair<std::string, std::string> feeds[] = {
        {feedFile(truncated), "no well-formed XML"},
        {"ftp://127.0.0.1/Appcast.xml", "unsupported scheme"},
        {"file://" + missing, "missing.xml"},
        {"http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/Appcast.xml", "127.0.0.1"},
    };
    for (const auto& [feed, detail] : feeds) {
        SCOPED_TRACE(feed);
        updater_.setFeedURL(feed);
        const SUUpdateCheckResult result = check();
        EXPECT_EQ(result.outcome, Outcome::Failed);
        expectFailureAlert(detail);
    }
    updater_.setFeedURL(std::nullopt);
    EXPECT_EQ(check().outcome, Outcome::Failed);
    expectFailureAlert("No update feed");
    EXPECT_EQ(updater_.lastUpdateCheckDate(), std::nullopt);
    EXPECT_EQ(datePosts_, 0);
}

TEST_F(SUUpdaterCheckTest, HttpFeedIsFetchedFollowingARedirect)
{
    LocalHttpServer server([](const std::string& path) {
        if (path == "/management/downloads/Appcast.xml") return LocalHttpServer::Response::redirect("/feeds/current.xml");
        if (path == "/feeds/current.xml") return LocalHttpServer::Response::withStatus(200, appcast("3.0.0", "3.0"));
        return LocalHttpServer::Response::withStatus(404, "not here");
    });
    updater_.setFeedURL(server.url("/management/downloads/Appcast.xml"));
    EXPECT_EQ(check().outcome, Outcome::UpdateAvailable);
    EXPECT_EQ(onlyAlert().informativeText, "Telvora 3.0 is now available; you have 2.1.");
    EXPECT_EQ(server.paths(), (std::vector<std::string>{"/management/downloads/Appcast.xml", "/feeds/current.xml"}));
    EXPECT_TRUE(updater_.lastUpdateCheckDate());
}

// A feed may point the window at notes on the web, never at a file on the user's machine.
TEST_F(SUUpdaterCheckTest, ReleaseNotesLinkIsFetchedOnlyOverHttp)
{
    const std::string secret = dir_ + "/secret.html";
    writeFile(secret, "<p>private</p>");
    std::string notesLink;
    LocalHttpServer server([&notesLink](const std::string& path) {
        if (path == "/notes.html") return LocalHttpServer::Response::withStatus(200, "<p>Faster dialling.</p>");
        std::string feed = appcast("3.0.0", "3.0");
        feed.replace(feed.rfind("<enclosure"), 0, "<sparkle:releaseNotesLink>" + notesLink + "</sparkle:releaseNotesLink>");
        return LocalHttpServer::Response::withStatus(200, feed);
    });
    updater_.setFeedURL(server.url("/Appcast.xml"));
    for (const auto& [link, expected] : {std::pair<std::string, std::string>{server.url("/notes.html"), "<p>Faster dialling.</p>"},
                                         {"file://" + secret, ""}}) {
        notesLink = link;
        const SUUpdateCheckResult result = check();
        ASSERT_EQ(result.outcome, Outcome::UpdateAvailable) << link;
        EXPECT_EQ(result.newestItem->releaseNotesHTML, expected) << link;
        alerts_->reset();
    }
}

TEST_F(SUUpdaterCheckTest, AFeedWithoutASchemeIsFetchedOverHttps)
{
    // A plain HTTP server: the https attempt reaches it, and its handshake fails there.
    LocalHttpServer server([](const std::string&) { return LocalHttpServer::Response::withStatus(200, appcast("9.0", "9.0")); });
    updater_.setFeedURL("127.0.0.1:" + std::to_string(server.port()) + "/management/downloads/Appcast.xml");
    EXPECT_EQ(check().outcome, Outcome::Failed);
    EXPECT_EQ(server.requestCount(), 1);
    for (const auto& path : server.paths()) EXPECT_NE(path, "/management/downloads/Appcast.xml");
    const Alert alert = onlyAlert();
    EXPECT_EQ(alert.informativeText.find("names no scheme"), std::string::npos) << alert.informativeText;
}

TEST_F(SUUpdaterCheckTest, HttpErrorsEndlessRedirectsAndRedirectsIntoFilesFail)
{
    // A newer release on disk, which a redirect must not be able to reach.
    const std::string local = feedFile(appcast("9.0", "9.0"));
    LocalHttpServer server([&local](const std::string& path) {
        if (path == "/loop") return LocalHttpServer::Response::redirect("/loop");
        if (path == "/to-file") return LocalHttpServer::Response::redirect(local);
        if (path == "/error") return LocalHttpServer::Response::withStatus(500, appcast("9.0", "9.0"));
        return LocalHttpServer::Response::withStatus(404, "not here");
    });
    for (const char* path : {"/loop", "/to-file", "/error", "/nothing"}) {
        SCOPED_TRACE(path);
        updater_.setFeedURL(server.url(path));
        EXPECT_EQ(check().outcome, Outcome::Failed);
        expectFailureAlert("");
    }
    EXPECT_LE(server.requestCount(), 6 + 1 + 1 + 1 + 1); // the loop ends after a few redirects
    EXPECT_EQ(updater_.lastUpdateCheckDate(), std::nullopt);
}

TEST_F(SUUpdaterCheckTest, BackgroundCheckAlertsOnlyForAnUpdate)
{
    updater_.setFeedURL(feedFile(appcast("2.1.0", "2.1")));
    EXPECT_EQ(check(false).outcome, Outcome::NoUpdateAvailable);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
    EXPECT_TRUE(updater_.lastUpdateCheckDate());

    updater_.setFeedURL("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/Appcast.xml");
    EXPECT_EQ(check(false).outcome, Outcome::Failed);
    EXPECT_TRUE(alerts_->shownAlerts().empty());

    updater_.setFeedURL(feedFile(appcast("2.1.1", "2.1.1")));
    EXPECT_EQ(check(false).outcome, Outcome::UpdateAvailable);
    EXPECT_EQ(onlyAlert().messageText, "A new version of Telvora is available!");
}

TEST_F(SUUpdaterCheckTest, RequestsDuringACheckJoinIt)
{
    LocalHttpServer server([](const std::string&) { return LocalHttpServer::Response::silence(); });
    SUFeedFetcher::Options impatient;
    impatient.timeout = 300ms;
    updater_.setFetchOptions(impatient);
    updater_.setFeedURL(server.url("/Appcast.xml"));

    // The silent server also shows that the time-out ends the fetch.
    int completions = 0;
    updater_.checkForUpdatesInBackground([&](const SUUpdateCheckResult&) { ++completions; });
    EXPECT_TRUE(updater_.isCheckingForUpdates());
    // The user asks while the scheduled check runs: one fetch, and the user sees its result.
    updater_.checkForUpdates([&](const SUUpdateCheckResult& result) {
        ++completions;
        EXPECT_EQ(result.outcome, Outcome::Failed);
        MainRunLoop::shared().stop();
    });
    runMainLoop();
    EXPECT_EQ(completions, 2);
    EXPECT_FALSE(updater_.isCheckingForUpdates());
    EXPECT_EQ(server.requestCount(), 1);
    expectFailureAlert("");
}

TEST_F(SUUpdaterCheckTest, DestroyingTheUpdaterCancelsItsCheck)
{
    LocalHttpServer server([](const std::string&) { return LocalHttpServer::Response::silence(); });
    bool completed = false;
    {
        SUUpdater leaving(defaults_);
        leaving.setFeedURL(server.url("/Appcast.xml")); // the default time-outs: far longer than the test
        leaving.checkForUpdates([&](const SUUpdateCheckResult&) { completed = true; });
        while (server.requestCount() == 0) std::this_thread::sleep_for(5ms);
    }
    DispatchQueue::main()->async([] { MainRunLoop::shared().stop(); });
    runMainLoop();
    EXPECT_FALSE(completed);
    EXPECT_TRUE(alerts_->shownAlerts().empty());
}

}
}
