// Alerts are real dialogs a person (here xdotool) answers; the Wayland hint comes once per
// installation; and a Telvora whose X server goes away shuts down in order.
#include "DesktopTelvoraFixture.h"

#include "foundation/PlistValue.h"
#include "foundation/UserDefaults.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;

// A private X server for one test: killing it must not take the shared session along.
class PrivateXServer {
public:
    PrivateXServer()
    {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the display number and a line break once it accepts connections.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }

    ~PrivateXServer() { kill(); }

    const std::string& display() const { return display_; }

    void kill()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

class DesktopAlertsTest : public DesktopTelvoraFixture {
protected:
    void TearDown() override
    {
        DesktopTelvoraFixture::TearDown();
        for (const auto& [name, value] : savedEnvironment_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }

    void setEnvironment(const std::string& name, const char* value)
    {
        const char* old = std::getenv(name.c_str());
        savedEnvironment_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) setenv(name.c_str(), value, 1);
        else unsetenv(name.c_str());
    }

    UserDefaults store() const
    {
        return UserDefaults("com.orvella.Telvora", home + "/Library/Preferences/com.orvella.Telvora.plist");
    }

    bool logged(const std::string& line) const
    {
        const auto lines = telvora->logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::size_t loggedCount(const std::string& line) const
    {
        const auto lines = telvora->logLines();
        return std::size_t(std::count(lines.begin(), lines.end(), line));
    }

    bool loggedEventually(const std::string& line, std::chrono::milliseconds timeout = kWait) const
    {
        return waitUntil([&] { return logged(line); }, timeout, 50ms);
    }

    // The visible top-level windows of this Telvora titled "Telvora" (its alerts).
    std::vector<std::string> alertWindows() const
    {
        const auto found = runCommand("xdotool search --all --onlyvisible --pid " + std::to_string(telvora->pid()) +
                                      " --name '^Telvora$' 2>/dev/null");
        std::vector<std::string> windows;
        std::string line;
        for (char c : found.output + "\n") {
            if (c != '\n') line += c;
            else if (!line.empty()) windows.push_back(std::exchange(line, {}));
        }
        return windows;
    }

    std::string waitForAlert(std::chrono::milliseconds timeout)
    {
        std::string window;
        waitUntil(
            [&] {
                const auto windows = alertWindows();
                if (!windows.empty()) window = windows.front();
                return !window.empty();
            },
            timeout, 100ms);
        return window;
    }

    // Answers the alert as a person would: its default button, by Return.
    bool pressReturnIn(const std::string& window)
    {
        return xdotool("windowactivate --sync " + window) && xdotool("key --clearmodifiers Return") &&
               waitUntil([&] { return alertWindows().empty(); }, kWait, 50ms);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

// A scheduled check is the only one that runs without a person asking; it offers the newer
// version the feed announces in the update window. The release cannot be installed (it offers
// no archive of the bundle), which the person learns in an alert. The feed is a file, stored
// as an earlier run would have.
class DesktopUpdateAlertTest : public DesktopAlertsTest {
protected:
    void beforeStart() override
    {
        const std::string feedFolder = home + "/server/management/downloads";
        std::filesystem::create_directories(feedFolder);
        std::ofstream(feedFolder + "/Appcast.xml")
            << R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<item><title>Telvora 999.0</title><enclosure url="file:///nowhere/Telvora-999.0.zip" sparkle:version="999.0"
 sparkle:shortVersionString="999.0" length="1"/></item></channel></rss>
)";
        // Not a first run: the updater takes these settings; the last check is long past, so
        // the next one falls due at the earliest moment the updater allows (a minute after start).
        UserDefaults defaults = store();
        defaults.setString("file://" + feedFolder + "/Appcast.xml", "SUFeedURL");
        defaults.setBool(false, "TVIFirstRun");
        defaults.setBool(true, "SUEnableAutomaticChecks");
        defaults.setInteger(60, "SUScheduledCheckInterval");
        defaults.setObject(PlistValue(PlistDate(std::chrono::sys_days(std::chrono::year(2020) / 1 / 1))),
                           "SULastCheckTime");
        ASSERT_TRUE(defaults.synchronize());
    }
};

TEST_F(DesktopUpdateAlertTest, UpdateAlertIsADialogThatReturnAnswersWhileTheMainQueueWaits)
{
    std::string offer;
    ASSERT_TRUE(waitUntil(
        [&] {
            offer = runCommand("xdotool search --onlyvisible --name '^Software Update$' 2>/dev/null | head -1").output;
            return !offer.empty();
        },
        120s, 200ms))
        << "no update window appeared; Telvora's output:\n" << console();
    ASSERT_TRUE(xdotool("windowactivate --sync " + offer) && xdotool("key --clearmodifiers Return")); // Install Update
    const std::string window = waitForAlert(kWait);
    ASSERT_FALSE(window.empty()) << "no alert window appeared; Telvora's output:\n" << console();
    EXPECT_TRUE(logged("QtAlerts: Showing alert \"The update could not be installed.\""));

    // While the alert is up the link still accepts, but the controller's greeting is a
    // main-queue task: it waits for the alert.
    peer::CalvettoPeer second;
    ASSERT_TRUE(second.connect("127.0.0.1", port));
    EXPECT_EQ(nextType(second, 500ms), -1);

    ASSERT_TRUE(pressReturnIn(window));
    EXPECT_TRUE(loggedEventually("QtAlerts: Alert \"The update could not be installed.\" answered with \"OK\""));
    EXPECT_EQ(nextType(second), Ip_Address_Request);
    EXPECT_TRUE(telvora->isRunning());
    EXPECT_EQ(telvora->terminate(), 0);
}

class DesktopWaylandHintTest : public DesktopAlertsTest {
protected:
    // Still on the X display: only the session type says Wayland.
    void beforeStart() override { setEnvironment("XDG_SESSION_TYPE", "wayland"); }
};

TEST_F(DesktopWaylandHintTest, HintIsShownOnceAndRememberedAcrossStarts)
{
    const std::string warning = "WaylandSessionHint: This is a Wayland session: global shortcuts and the make-call "
                                "copy need an X11 session (\"GNOME on Xorg\" at the login screen on Debian's "
                                "GNOME); everything else runs";
    const std::string window = waitForAlert(20s);
    ASSERT_FALSE(window.empty()) << "no hint appeared; Telvora's output:\n" << console();
    ASSERT_TRUE(pressReturnIn(window));
    EXPECT_TRUE(loggedEventually(
        "QtAlerts: Alert \"Global shortcuts need an X11 session for now\" answered with \"OK\""));
    EXPECT_TRUE(logged(warning));
    // The other X11 services keep their in-memory stand-ins; the process serves on.
    peer::CalvettoPeer calvetto;
    connect(calvetto);
    EXPECT_EQ(telvora->terminate(), 0);
    EXPECT_TRUE(store().boolForKey("TVIWaylandHintShown"));

    std::filesystem::remove(telvora->portFilePath());
    startTelvora();
    peer::CalvettoPeer again;
    connect(again); // served only once the launch, prompt included, is done
    EXPECT_TRUE(alertWindows().empty());
    EXPECT_TRUE(waitUntil([&] { return loggedCount(warning) == 2; }, kWait, 50ms));
    EXPECT_EQ(telvora->terminate(), 0);
}

class DesktopLogoutTest : public DesktopAlertsTest {
protected:
    void beforeStart() override
    {
        ASSERT_FALSE(server_.display().empty()) << "Xvfb did not start";
        setEnvironment("DISPLAY", server_.display().c_str());
    }

    PrivateXServer server_;
};

TEST_F(DesktopLogoutTest, LosingTheXServerRunsTheShutdownSequenceAndExitsZero)
{
    peer::CalvettoPeer calvetto;
    connect(calvetto);
    ASSERT_TRUE(calvetto.send(Monitoring_Start_Request));
    EXPECT_EQ(nextType(calvetto), Monitoring_Start_Response);
    ASSERT_TRUE(store().boolForKey("TVIHoldCallShortcutEnabled"));

    server_.kill();
    const auto status = telvora->waitForExit(20s);
    ASSERT_TRUE(status) << "Telvora did not end with its X server; output:\n" << console();
    EXPECT_EQ(*status, 0) << console();
    EXPECT_TRUE(logged("TVIAppDelegate: => applicationWillTerminate")) << console();
    EXPECT_TRUE(logged("TVISocket: Stopped Telvora server"));
    const UserDefaults stored = store();
    for (const char* key : {"TVIMakeCallShortcutEnabled", "TVIHoldCallShortcutEnabled", "TVITransferCallShortcutEnabled"})
        EXPECT_FALSE(stored.boolForKey(key)) << key;
}

}
}
