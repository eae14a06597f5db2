// The status item of the real executable in a desktop session with a system tray, driven from
// outside only: the icon docks into the tray, a click opens the status menu, its entries open
// the about and preferences windows and quit; the command line reaches the running Telvora; a
// shortcut recorded in the preferences window takes over the grab on the X server.
#include "DesktopTelvoraFixture.h"
#include "ForeignXClient.h"
#include "app/TVIPreferenceKeys.h"
#include "foundation/UserDefaults.h"
#include "platform/MacKeyCodes.h"
#include "shortcuts/MASShortcut.h"

#include <sstream>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;

const std::string kTelvora = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";

std::string visibleWindowNamed(const std::string& name)
{
    return runCommand("xdotool search --onlyvisible --name '^" + name + "$' | head -1").output;
}

class DesktopStatusItemTest : public DesktopTelvoraFixture {
protected:
    bool logged(const std::string& line) const
    {
        for (const std::string& entry : telvora->logLines())
            if (entry.find(line) != std::string::npos) return true;
        return false;
    }

    // The keys that choose an entry of the open menu ("Down Return": the first one, "Contacts...").
    void choose(const std::string& keys) { ASSERT_TRUE(xdotool("key --delay 80 " + keys)); }

    // The session commands travel over the session bus only with its desktop backend.
    bool sessionBusCommands() const
    {
        waitUntil([this] { return console().find("Running in desktop mode") != std::string::npos; }, kWait);
        return console().find("SessionCommands in-memory") == std::string::npos;
    }

};

TEST_F(DesktopStatusItemTest, TheIconDocksInTheTrayAndAClickOpensTheStatusMenu)
{
    openStatusMenu();
    EXPECT_GT(iconGeometry.width, 0);
    // Escape closes the menu again, and Telvora keeps running.
    choose("Escape");
    EXPECT_TRUE(waitUntil([] { return menuWindow().empty(); }, kWait));
    EXPECT_TRUE(telvora->isRunning());
}

TEST_F(DesktopStatusItemTest, AboutOpensTheAboutWindowUnderTheIconWithTheBundlesVersion)
{
    openStatusMenu();
    choose("Down Down Return");
    std::string about;
    ASSERT_TRUE(waitUntil([&] { return !(about = visibleWindowNamed("About Telvora")).empty(); }, kWait)) << console();
    EXPECT_TRUE(waitUntil([&] { return logged("TVIAboutWindowController: => windowDidLoad -> appVersion:Version " +
                                              std::string(TELVORA_VERSION) + " (Build " TELVORA_BUILD_NUMBER ")"); },
                          kWait))
        << console();
    EXPECT_TRUE(logged("TVIAppDelegate: => showAbout"));

    // Below the tray (at the top of the screen), inside the screen, centred unless the edge is near.
    const auto window = geometryOf(about);
    ASSERT_TRUE(window);
    EXPECT_GE(window->y, iconGeometry.y + iconGeometry.height + 5);
    EXPECT_LT(window->y, iconGeometry.y + iconGeometry.height + 80) << "title bar included";
    const CommandResult display = runCommand("xdotool getdisplaygeometry");
    int screenWidth = 0, screenHeight = 0;
    std::istringstream(display.output) >> screenWidth >> screenHeight;
    EXPECT_LE(window->x + window->width, screenWidth);
    EXPECT_GE(window->x, 0);
}

TEST_F(DesktopStatusItemTest, QuitRunsTheShutdownSequenceAndExitsZero)
{
    openStatusMenu();
    choose("Up Return");
    const auto status = telvora->waitForExit(kWait);
    ASSERT_TRUE(status) << console();
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(logged("TVIAppDelegate: => quitApplication"));
    EXPECT_TRUE(logged("TVIAppDelegate: => applicationWillTerminate"));
    EXPECT_TRUE(logged("TVIAppDelegate: => removeNotifications"));
}

TEST_F(DesktopStatusItemTest, TheQuitOptionStopsTheRunningTelvoraAndStartsNone)
{
    if (!sessionBusCommands()) GTEST_SKIP() << "no session-bus backend of SessionCommands in this build";
    const CommandResult quit = runCommand("HOME='" + home + "' '" + kTelvora + "' --quit 2>&1");
    EXPECT_EQ(quit.status, 0) << quit.output;
    const auto status = telvora->waitForExit(kWait);
    ASSERT_TRUE(status) << console();
    EXPECT_EQ(*status, 0);
    // With none running, --quit says so and starts nothing.
    const CommandResult again = runCommand("HOME='" + home + "' timeout 20 '" + kTelvora + "' --quit 2>&1");
    EXPECT_EQ(again.status, 1) << again.output;
}

TEST_F(DesktopStatusItemTest, TheAboutOptionAsksTheRunningTelvora)
{
    if (!sessionBusCommands()) GTEST_SKIP() << "no session-bus backend of SessionCommands in this build";
    const CommandResult about = runCommand("HOME='" + home + "' timeout 20 '" + kTelvora + "' --about 2>&1");
    EXPECT_EQ(about.status, 0) << about.output;
    EXPECT_TRUE(waitUntil([] { return !visibleWindowNamed("About Telvora").empty(); }, kWait)) << console();
    EXPECT_TRUE(logged("TVIAppCommandLine: => About requested by another program of the session"));
}

TEST_F(DesktopStatusItemTest, PreferencesMapsThePreferencesWindow)
{
    openStatusMenu();
    choose("Down Down Down Down Return");
    EXPECT_TRUE(waitUntil([] { return !visibleWindowNamed("Preferences").empty(); }, kWait)) << console();
    EXPECT_TRUE(logged("TVIAppDelegate: => showPreferences"));
}

// With the hidden preferences shown: the Shortcuts pane and its recorders.
class DesktopShortcutRecorderTest : public DesktopStatusItemTest {
protected:
    void prepareHome() override
    {
        UserDefaults stored("com.orvella.Telvora", preferencesFile());
        stored.setBool(true, TVIShowHiddenPreferences);
        ASSERT_TRUE(stored.synchronize());
    }

    std::string preferencesFile() const { return home + "/Library/Preferences/com.orvella.Telvora.plist"; }

    // The hold shortcut as Telvora's preferences file has it now.
    std::optional<MASShortcut> storedHoldShortcut() const
    {
        UserDefaults stored("com.orvella.Telvora", preferencesFile());
        return MASShortcut::shortcutWithData(stored.dataForKey(MASPrefKeyHoldCallShortcut));
    }
};

TEST_F(DesktopShortcutRecorderTest, ARecordedShortcutIsStoredAndReplacesTheGrab)
{
    ForeignXClient x;
    ASSERT_TRUE(x.isOpen());
    const TVIActionCodes& hold = TVIMessageTypes::codes(TVICallAction::HoldCall);
    peer::CalvettoPeer peer;
    connect(peer);
    ASSERT_EQ(request(peer, hold.request, "Ctrl+F5"), hold.accepted());
    ASSERT_FALSE(x.isFree(ControlMask, XK_F5));

    openStatusMenu();
    choose("Down Down Down Down Return");
    std::string window;
    ASSERT_TRUE(waitUntil([&] { return !(window = visibleWindowNamed("Preferences")).empty(); }, kWait)) << console();
    ASSERT_TRUE(xdotool("windowactivate --sync " + window));
    // The Shortcuts pane puts the focus on its first enabled recorder: hold, the only action
    // Calvetto registered. Return starts recording, the chord is recorded.
    ASSERT_TRUE(xdotool("key --delay 150 ctrl+Tab Return ctrl+F6"));

    const MASShortcut wanted = MASShortcut::shortcutWithKeyCode(kVK_F6, NSEventModifierFlagControl);
    EXPECT_TRUE(waitUntil([&] { return storedHoldShortcut() == wanted; }, kWait))
        << "stored: " << (storedHoldShortcut() ? storedHoldShortcut()->description() : "none") << "\n" << console();
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F6, false)) << "Ctrl+F6 is not grabbed\n" << console();
    EXPECT_TRUE(x.becomesFree(ControlMask, XK_F5)) << "Ctrl+F5 is still grabbed";
    // The new combination fires the action.
    ASSERT_TRUE(xdotool("key ctrl+F6"));
    EXPECT_EQ(nextType(peer), hold.pressed());
}

}
}
