// The X11 backends against the contracts every backend of their services keeps. Another
// program is a second X connection (grabs, windows, XTest keys) or xclip.
#include "desktop/X11TestClient.h"
#include "DesktopTools.h"
#include "platform/contracts/HotKeysContract.h"
#include "platform/contracts/KeyEventsContract.h"
#include "platform/contracts/PasteboardContract.h"
#include "platform/contracts/WorkspaceContract.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/linux/X11KeyEvents.h"
#include "platform/linux/X11KeyGrabber.h"
#include "platform/linux/X11KeySymbols.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Workspace.h"
#include "platform/MacKeyCodes.h"
#include "support/TestHome.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <unistd.h>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;

KeySym symbolFor(std::uint32_t macKeyCode)
{
    return X11KeySymbols::keySymFor(static_cast<std::uint16_t>(macKeyCode)).value_or(NoSymbol);
}

// The backend a driver hands out, created on first use; a backend that cannot be created fails
// the case with its reason.
template <class Backend, class... Extra>
const std::shared_ptr<Backend>& createdOnce(std::shared_ptr<Backend>& backend, Extra... extra)
{
    if (!backend) {
        std::string why;
        backend = Backend::create(why, extra...);
        EXPECT_TRUE(backend) << why;
    }
    return backend;
}

// The other program holds its grabs on a connection of its own; the user types by XTest.
class X11HotKeysDriver : public HotKeysDriver {
public:
    X11HotKeysDriver()
    {
        // Under Xvfb the first keys a new connection fakes are at times lost to the grab they
        // are meant for; a tap before the backend exists keeps that out of the cases.
        other_.key(XK_Shift_L, true);
        other_.key(XK_Shift_L, false);
    }
    std::shared_ptr<HotKeys> hotKeys() override { return createdOnce(hotKeys_); }
    std::vector<unsigned> lockStates() const override { return {kNoLocks, kCapsLock, kNumLock, kCapsLock | kNumLock}; }
    void occupy(KeyCombination combination, unsigned locks) override
    {
        const Grab grab{symbolFor(combination.keyCode), xModifiers(combination, locks)};
        ASSERT_EQ(other_.grab(grab.first, grab.second), 0);
        occupied_.insert(grab);
    }
    bool otherProgramCanTake(KeyCombination combination) override
    {
        bool took = true;
        for (unsigned locks : lockStates()) {
            const Grab grab{symbolFor(combination.keyCode), xModifiers(combination, locks)};
            if (other_.grab(grab.first, grab.second) != 0)
                took = false;
            else if (!occupied_.count(grab))
                other_.ungrab(grab.first, grab.second);
        }
        return took;
    }
    void press(KeyCombination combination, unsigned locks) override
    {
        toggleLocks(locks);
        std::vector<KeySym> modifiers;
        if (combination.modifiers & cmdKey) modifiers.push_back(XK_Super_L);
        if (combination.modifiers & controlKey) modifiers.push_back(XK_Control_L);
        if (combination.modifiers & optionKey) modifiers.push_back(XK_Alt_L);
        if (combination.modifiers & shiftKey) modifiers.push_back(XK_Shift_L);
        for (KeySym modifier : modifiers) other_.key(modifier, true);
        other_.key(symbolFor(combination.keyCode), true);
        other_.key(symbolFor(combination.keyCode), false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) other_.key(*it, false);
        toggleLocks(locks);
    }
    std::chrono::milliseconds deliveryTime() const override { return 3s; }
    std::chrono::milliseconds settleTime() const override { return 200ms; }

private:
    using Grab = std::pair<KeySym, unsigned int>;

    static unsigned int xModifiers(KeyCombination combination, unsigned locks)
    {
        // NumLock sets Mod2 under the session's keyboard mapping.
        return X11KeyGrabber::modifiersForCarbon(combination.modifiers) | (locks & kCapsLock ? LockMask : 0) |
               (locks & kNumLock ? Mod2Mask : 0);
    }
    void toggleLocks(unsigned locks)
    {
        for (KeySym lock : {locks & kCapsLock ? XK_Caps_Lock : NoSymbol, locks & kNumLock ? XK_Num_Lock : NoSymbol}) {
            if (lock == NoSymbol) continue;
            other_.key(lock, true);
            other_.key(lock, false);
        }
    }

    X11TestClient other_;
    std::set<Grab> occupied_;
    std::shared_ptr<X11HotKeys> hotKeys_;
};

class X11PasteboardDriver : public PasteboardDriver {
public:
    ~X11PasteboardDriver() override
    {
        // Ends the xclip still serving the clipboard: it exits once it loses the selection.
        if (pasteboard_) pasteboard_->takeClipboardOwnership();
    }
    std::shared_ptr<Pasteboard> pasteboard() override { return createdOnce(pasteboard_); }
    void writeText(const std::string& text) override { xclipWrite("clipboard", text); }
    void writeNonText() override
    {
        const std::string file = makeTempDir("image") + "/picture.png";
        std::ofstream(file, std::ios::binary) << "\x89PNG\r\n\x1a\n";
        int status = -1;
        shellOutput("xclip -selection clipboard -t image/png -i '" + file + "' >/dev/null 2>&1", &status);
        EXPECT_EQ(status, 0) << "xclip failed";
    }
    std::chrono::milliseconds changeTime() const override { return 10s; }

private:
    std::shared_ptr<X11Pasteboard> pasteboard_;
};

// The application in front is a window of a second connection that records its key presses.
class X11KeyEventsDriver : public KeyEventsDriver {
public:
    std::shared_ptr<KeyEvents> keyEvents() override { return createdOnce(keyEvents_, nullptr); }
    void bringApplicationToFront(KeyEvents::ProcessId processId) override
    {
        ASSERT_TRUE(front_.connected());
        front_.openFocusedWindow("telvora-test-editor", "TelvoraTestEditor", static_cast<long>(processId));
    }
    std::vector<ReceivedKeyPress> receivedPresses() override
    {
        std::vector<ReceivedKeyPress> presses;
        for (XKeyEvent& event : front_.keyPresses(500ms)) {
            const KeySym symbol = XLookupKeysym(&event, 0);
            if (IsModifierKey(symbol)) continue;
            presses.push_back({designKeyCode(symbol), flagsFor(event.state)});
        }
        return presses;
    }
    bool everyKeyIsUp() override
    {
        char keys[32];
        XQueryKeymap(front_.display(), keys);
        return std::all_of(std::begin(keys), std::end(keys), [](char byte) { return byte == 0; });
    }

private:
    static std::uint16_t designKeyCode(KeySym symbol)
    {
        for (std::uint16_t code = 0; code <= 0x7F; ++code)
            if (symbolFor(code) == symbol) return code;
        return 0xFFFF;
    }
    static std::uint64_t flagsFor(unsigned int state)
    {
        std::uint64_t flags = 0;
        if (state & ShiftMask) flags |= NSEventModifierFlagShift;
        if (state & ControlMask) flags |= NSEventModifierFlagControl;
        if (state & Mod1Mask) flags |= NSEventModifierFlagOption;
        if (state & Mod4Mask) flags |= NSEventModifierFlagCommand;
        return flags;
    }

    X11TestClient front_;
    std::shared_ptr<X11KeyEvents> keyEvents_;
};

// An application is a top-level window of a connection of its own, its class the identifier.
class X11WorkspaceDriver : public WorkspaceDriver {
public:
    std::shared_ptr<Workspace> workspace() override { return createdOnce(workspace_); }
    RunningApplication launch(const std::string& bundleIdentifier) override
    {
        auto& window = applications_.emplace_back(std::make_unique<X11TestClient>());
        EXPECT_TRUE(window->connected());
        if (window->connected()) window->openFocusedWindow("instance", bundleIdentifier, getpid());
        return {bundleIdentifier, getpid()};
    }

private:
    std::shared_ptr<X11Workspace> workspace_;
    std::vector<std::unique_ptr<X11TestClient>> applications_;
};

template <class Driver, class Base>
std::unique_ptr<Base> make()
{
    return std::make_unique<Driver>();
}

INSTANTIATE_TEST_SUITE_P(X11, HotKeysContract, ::testing::Values(&make<X11HotKeysDriver, HotKeysDriver>));
INSTANTIATE_TEST_SUITE_P(X11, PasteboardContract, ::testing::Values(&make<X11PasteboardDriver, PasteboardDriver>));
INSTANTIATE_TEST_SUITE_P(X11, KeyEventsContract, ::testing::Values(&make<X11KeyEventsDriver, KeyEventsDriver>));
INSTANTIATE_TEST_SUITE_P(X11, WorkspaceContract, ::testing::Values(&make<X11WorkspaceDriver, WorkspaceDriver>));

}
}
