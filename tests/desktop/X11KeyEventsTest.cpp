#include "desktop/X11TestClient.h"
#include "platform/linux/X11KeyEvents.h"
#include "platform/linux/X11KeyboardLayout.h"
#include "platform/MacKeyCodes.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

namespace tvi {
namespace {

using test::X11TestClient;

constexpr std::uint64_t kCommand = 0x100000;
constexpr unsigned int kSignificantModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

struct RecordingClipboard : ClipboardTakeover {
    bool takeClipboardOwnership() override { return ++takeovers, true; }
    bool copyPrimaryToClipboard() override { return ++primaryCopies, true; }
    std::atomic<int> takeovers{0};
    std::atomic<int> primaryCopies{0};
};

std::vector<XKeyEvent> pressesOf(const std::vector<XKeyEvent>& presses, KeyCode key)
{
    std::vector<XKeyEvent> found;
    for (const XKeyEvent& press : presses)
        if (press.keycode == key) found.push_back(press);
    return found;
}

TEST(X11KeyEventsTest, TheCopyChordArrivesAsControlCOnlyOnceTheHeldModifierIsUp)
{
    X11TestClient client;
    ASSERT_TRUE(client.connected());
    auto clipboard = std::make_shared<RecordingClipboard>();
    std::string why;
    std::shared_ptr<X11KeyEvents> keyEvents = X11KeyEvents::create(why, clipboard);
    ASSERT_TRUE(keyEvents) << why;
    client.openFocusedWindow("telvora-test-editor", "TelvoraTestEditor", getpid());
    EXPECT_EQ(keyEvents->frontProcess(), KeyEvents::ProcessId(getpid()));

    client.key(XK_Super_L, true); // the hot key's modifier, still held
    ASSERT_TRUE(keyEvents->postKeyDown(kVK_ANSI_C, kCommand));
    ASSERT_TRUE(keyEvents->postKeyUp(kVK_ANSI_C));
    EXPECT_TRUE(pressesOf(client.keyPresses(std::chrono::milliseconds(200)), client.keyCode(XK_c)).empty());
    client.key(XK_Super_L, false);

    const std::vector<XKeyEvent> copies = pressesOf(client.keyPresses(std::chrono::milliseconds(500)),
                                                    client.keyCode(XK_c));
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].state & kSignificantModifiers, unsigned(ControlMask));
    EXPECT_EQ(clipboard->takeovers, 1);
    EXPECT_EQ(clipboard->primaryCopies, 0);
    char keys[32];
    XQueryKeymap(client.display(), keys);
    EXPECT_EQ(std::string(keys, 32), std::string(32, '\0')) << "every synthetic key was released";
}

TEST(X11KeyEventsTest, ATerminalInFrontGetsItsSelectionCopiedAndNeverAControlC)
{
    X11TestClient client;
    ASSERT_TRUE(client.connected());
    auto clipboard = std::make_shared<RecordingClipboard>();
    std::string why;
    std::shared_ptr<X11KeyEvents> keyEvents = X11KeyEvents::create(why, clipboard);
    ASSERT_TRUE(keyEvents) << why;
    client.openFocusedWindow("xterm", "XTerm", getpid());

    ASSERT_TRUE(keyEvents->postKeyDown(kVK_ANSI_C, kCommand));
    ASSERT_TRUE(keyEvents->postKeyUp(kVK_ANSI_C));
    const std::vector<XKeyEvent> presses = client.keyPresses(std::chrono::milliseconds(400));
    EXPECT_TRUE(pressesOf(presses, client.keyCode(XK_c)).empty());
    EXPECT_TRUE(pressesOf(presses, client.keyCode(XK_Control_L)).empty());
    EXPECT_EQ(clipboard->primaryCopies, 1);
    EXPECT_EQ(clipboard->takeovers, 0);
}

TEST(X11KeyboardLayoutTest, KeyTextsComeFromTheCurrentLayout)
{
    X11TestClient client;
    ASSERT_TRUE(client.connected());
    std::string why;
    std::shared_ptr<X11KeyboardLayout> layout = X11KeyboardLayout::create(why);
    ASSERT_TRUE(layout) << why;
    EXPECT_EQ(layout->characterForKeyCode(kVK_ANSI_A), "a");
    EXPECT_EQ(layout->characterForKeyCode(kVK_ANSI_7), "7");
    EXPECT_EQ(layout->characterForKeyCode(kVK_ANSI_Slash), "/");
    EXPECT_EQ(layout->characterForKeyCode(kVK_F5), "\x10");
    EXPECT_EQ(layout->characterForKeyCode(kVK_Shift), "");
}

}
}
