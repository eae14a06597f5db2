// The contacts bar of the real executable in a desktop session, driven from outside with the
// pointer and the keyboard: a number of a vCard contact reaches Calvetto through the contact
// plug-in exactly as stored, and the anchor and mini-view flags outlive a restart.
#include "DesktopTelvoraFixture.h"
#include "foundation/UserDefaults.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPlugin = "/Library/Address Book Plug-Ins/com.orvella.TVAbplugin.bundle";

// Telvora's icon: a child of trayer's panel window with Telvora's class.
std::string trayIconWindow()
{
    return runCommand("xwininfo -root -tree | awk '/\"panel\": \\(\"panel\" \"trayer\"\\)/ {in_panel=1; next} "
                      "in_panel && /\\(\"Telvora\" \"Telvora\"\\)/ {print $1; exit}'")
        .output;
}

// The mapped pop-up windows of Telvora on the root window (the popover, the contact list's
// popover, a menu), one a line; empty when there is none. The icon's tool tip says what it is.
std::string popupWindows()
{
    return runCommand("for w in $(xdotool search --onlyvisible --class Telvora); do "
                      "xwininfo -id $w | grep -q 'Override Redirect State: yes' && "
                      "xwininfo -children -id $w | grep -q 'Parent window id: .*(the root window)' && "
                      "! xprop -id $w _NET_WM_WINDOW_TYPE | grep -q TOOLTIP && echo $w; done")
        .output;
}

std::string popupWindow()
{
    const std::string all = popupWindows();
    return all.substr(0, all.find('\n'));
}

std::size_t popupCount()
{
    const std::string all = popupWindows();
    return all.empty() ? 0 : std::count(all.begin(), all.end(), '\n') + 1;
}

class DesktopContactsPopoverTest : public DesktopTelvoraFixture {
protected:
    void prepareHome() override
    {
        const std::string folder = home + "/.local/share/contacts";
        fs::create_directories(folder);
        std::ofstream(folder + "/anna.vcf", std::ios::binary)
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nFN:Anna Muster\r\nN:Muster;Anna;;;\r\n"
               "TEL;TYPE=WORK,VOICE:(030) 123-45 67\r\nEND:VCARD\r\n";
    }

    bool loggedWithin(const std::string& text, std::chrono::milliseconds timeout = kWait) const
    {
        return waitUntil(
            [&] {
                const auto lines = telvora->logLines();
                return std::any_of(lines.begin(), lines.end(),
                                   [&](const std::string& line) { return line.find(text) != std::string::npos; });
            },
            timeout);
    }

    // "Contacts..." at the top of the status menu opens the popover; the keyboard starts on the
    // chosen form's segment.
    void openPopover()
    {
        std::string icon;
        ASSERT_TRUE(waitUntil([&] { return !(icon = trayIconWindow()).empty(); }, kWait))
            << runCommand("xwininfo -root -tree").output;
        ASSERT_TRUE(xdotool("mousemove --window " + icon + " 11 11 click 1"));
        // The menu takes the keyboard just after it maps.
        std::this_thread::sleep_for(400ms);
        ASSERT_TRUE(xdotool("key --delay 80 Down Return"));
        ASSERT_TRUE(waitUntil([] { return !popupWindow().empty(); }, kWait)) << console();
        // The popup takes the keyboard just after it maps.
        std::this_thread::sleep_for(400ms);
    }

    static void keys(const std::string& keys) { ASSERT_TRUE(xdotool("key --delay 120 " + keys)); }

    // "Call via Calvetto" on Anna's number in the drawer, all with the keyboard.
    void callAnnaFromTheDrawer(peer::CalvettoPeer& peer)
    {
        ASSERT_TRUE(waitUntil([&] { return fs::exists(home + kPlugin + "/Contents/Info.plist"); }, kWait)) << console();
        connect(peer);
        openPopover();
        // The stored form is the drawer: Space slides it out with the keyboard in its search field.
        keys("space");
        ASSERT_TRUE(loggedWithin("setSelectedPickerView:0")) << console();
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(xdotool("type --delay 80 Muster"));
        // Into the list (the contact), down to its number, and the number's menu.
        keys("Tab Down Menu");
        std::this_thread::sleep_for(500ms);
        keys("Down Return");
    }

    static bool pluginBuilt()
    {
        return fs::exists(std::string(TELVORA_APP_DIR) + "/Contents/Resources/com.orvella.TVAbplugin.bundle");
    }

    // A click on the desktop far from the popover (bottom left; the tray is at the top).
    static void clickElsewhere()
    {
        int width = 0, height = 0;
        std::istringstream(runCommand("xdotool getdisplaygeometry").output) >> width >> height;
        ASSERT_TRUE(xdotool("mousemove 4 " + std::to_string(height - 4) + " click 1"));
    }
};

TEST_F(DesktopContactsPopoverTest, CallViaCalvettoOnAContactsNumberSendsExactlyThatText)
{
    if (!pluginBuilt()) GTEST_SKIP() << "the contact plug-in is not built";
    peer::CalvettoPeer peer;
    ASSERT_NO_FATAL_FAILURE(callAnnaFromTheDrawer(peer));

    auto message = peer.receive(kWait);
    ASSERT_TRUE(message) << console();
    EXPECT_EQ(message->msgType(), Button_Combination_MakeCall_Pressed);
    const std::string number = "(030) 123-45 67";
    EXPECT_EQ(message->msgPayload().value_or(Bytes{}), Bytes(number.begin(), number.end()));
}

// With a contact selected, the list read again after a change is no change of the selection,
// and reading it causes no further reading.
TEST_F(DesktopContactsPopoverTest, AfterACallAndAChangedCardTheClosedBarLeavesTheLogQuiet)
{
    if (!pluginBuilt()) GTEST_SKIP() << "the contact plug-in is not built";
    peer::CalvettoPeer peer;
    ASSERT_NO_FATAL_FAILURE(callAnnaFromTheDrawer(peer));
    ASSERT_TRUE(peer.receive(kWait)) << console();
    // A synchroniser brings another card.
    std::ofstream(home + "/.local/share/contacts/bert.vcf", std::ios::binary)
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bert\r\nFN:Bert Beispiel\r\nTEL:0301\r\nEND:VCARD\r\n";
    clickElsewhere();
    ASSERT_TRUE(waitUntil([] { return popupWindow().empty(); }, kWait)) << console();
    std::this_thread::sleep_for(1s);

    const std::size_t before = telvora->logLines().size();
    std::this_thread::sleep_for(5s);
    const auto lines = telvora->logLines();
    std::string added;
    for (std::size_t i = before; i < lines.size(); ++i) added += lines[i] + "\n";
    EXPECT_LE(lines.size(), before + 3) << added;
}

TEST_F(DesktopContactsPopoverTest, TheAnchorAndTheMiniViewOutliveARestart)
{
    openPopover();
    // Only the chosen segment is in the focus chain: then contacts, more, anchor, height.
    keys("Tab Tab Tab space Tab space");
    ASSERT_TRUE(loggedWithin("TVIPopoverViewController: set to Yes")) << console();
    std::this_thread::sleep_for(300ms);
    keys("Escape");

    ASSERT_TRUE(telvora->terminate());
    startTelvora();
    ASSERT_TRUE(loggedWithin("TVIPopoverViewController: Mini View enabled:1")) << console();

    // Anchored: a click elsewhere leaves the popover open, also a while later.
    openPopover();
    const std::string popover = popupWindow();
    clickElsewhere();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(popupWindow(), popover);
    // Unanchored, the same click closes it.
    xdotool("mousemove --window " + popover + " 1 1");
    keys("Tab Tab Tab space");
    ASSERT_TRUE(loggedWithin("TVIPopoverViewController: set to No")) << console();
    clickElsewhere();
    EXPECT_TRUE(waitUntil([] { return popupWindow().empty(); }, kWait)) << console();
}

class DesktopContactsPopoverFormTest : public DesktopContactsPopoverTest {
protected:
    void prepareHome() override
    {
        DesktopContactsPopoverTest::prepareHome();
        UserDefaults stored("com.orvella.Telvora", home + "/Library/Preferences/com.orvella.Telvora.plist");
        stored.setInteger(1, "TVISelectedPickerView");
        ASSERT_TRUE(stored.synchronize());
    }
};

TEST_F(DesktopContactsPopoverFormTest, AClickElsewhereFoldsTheContactPopoverAwayAndThePopupFollowsLater)
{
    openPopover();
    keys("space");
    ASSERT_TRUE(waitUntil([] { return popupCount() == 2; }, kWait)) << popupWindows();
    clickElsewhere();
    const auto clicked = Clock::now();
    ASSERT_TRUE(waitUntil([] { return popupCount() < 2; }, kWait));
    EXPECT_EQ(popupCount(), 1u) << "the bar stays while the list folds away";
    ASSERT_TRUE(waitUntil([] { return popupCount() == 0; }, kWait));
    EXPECT_GE(Clock::now() - clicked, 900ms);
}

}
}
