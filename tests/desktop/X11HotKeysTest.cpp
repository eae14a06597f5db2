#include "desktop/X11TestClient.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/MacKeyCodes.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace tvi {
namespace {

using test::serveMainQueueUntil;
using test::X11TestClient;

constexpr EventHotKeyID kMakeCall{0x54564931, 1};

std::shared_ptr<X11HotKeys> makeHotKeys()
{
    std::string why;
    std::shared_ptr<X11HotKeys> hotKeys = X11HotKeys::create(why);
    EXPECT_TRUE(hotKeys) << why;
    return hotKeys;
}

void tap(X11TestClient& client, KeySym symbol)
{
    client.key(symbol, true);
    client.key(symbol, false);
}

TEST(X11HotKeysTest, APressReachesTheHandlerOnTheMainQueueWhateverLocksAreLit)
{
    X11TestClient client;
    ASSERT_TRUE(client.connected());
    std::shared_ptr<X11HotKeys> hotKeys = makeHotKeys();
    ASSERT_TRUE(hotKeys);
    const auto symbolic = hotKeys->copySymbolicHotKeys();
    ASSERT_TRUE(symbolic.has_value());
    EXPECT_TRUE(symbolic->empty()) << "X has no list of system-wide shortcuts";

    std::vector<EventHotKeyID> pressed;
    bool onTestThread = true;
    hotKeys->installEventHandler([&](const HotKeyEvent& event) {
        pressed.push_back(event.hotKeyID.value_or(EventHotKeyID{}));
        return noErr;
    });
    const std::thread::id mainThread = std::this_thread::get_id();
    hotKeys->installEventHandler([&](const HotKeyEvent&) {
        onTestThread = onTestThread && std::this_thread::get_id() == mainThread;
        return eventNotHandledErr;
    });
    const HotKeys::HotKeyRegistration registration =
        hotKeys->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyNoOptions);
    ASSERT_EQ(registration.status, noErr);

    ASSERT_EQ(std::system("xdotool key super+F5"), 0);
    ASSERT_TRUE(serveMainQueueUntil([&] { return pressed.size() == 1; }));
    EXPECT_EQ(pressed[0], kMakeCall);
    EXPECT_TRUE(onTestThread) << "handlers run on the main queue, served here by the test thread";

    // Lit locks are part of the X modifier state: the lock variants of the grab catch them.
    tap(client, XK_Caps_Lock);
    tap(client, XK_Num_Lock);
    ASSERT_EQ(std::system("xdotool key super+F5"), 0);
    const bool pressedWithLocks = serveMainQueueUntil([&] { return pressed.size() == 2; });
    tap(client, XK_Caps_Lock);
    tap(client, XK_Num_Lock);
    EXPECT_TRUE(pressedWithLocks);

    // Another modifier state is another combination.
    ASSERT_EQ(std::system("xdotool key super+shift+F5 F5"), 0);
    serveMainQueueUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(pressed.size(), 2u);
    EXPECT_EQ(hotKeys->unregisterEventHotKey(registration.hotKey), noErr);
}

TEST(X11HotKeysTest, ACombinationAnotherClientGrabbedIsRefusedWithoutLeavingAPartialGrab)
{
    X11TestClient other;
    ASSERT_TRUE(other.connected());
    // Only the NumLock variant is taken: the backend's grabs without NumLock come first and succeed.
    ASSERT_EQ(other.grab(XK_F6, Mod4Mask | Mod2Mask), 0);
    std::shared_ptr<X11HotKeys> hotKeys = makeHotKeys();
    ASSERT_TRUE(hotKeys);

    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F6, cmdKey, kMakeCall, kEventHotKeyNoOptions).status,
              eventHotKeyExistsErr);
    EXPECT_TRUE(hotKeys->isAvailable()) << "a refused grab is no reason to give up";

    X11TestClient third;
    EXPECT_EQ(third.grab(XK_F6, Mod4Mask), 0);
    EXPECT_EQ(third.grab(XK_F6, Mod4Mask | LockMask), 0);
    other.ungrab(XK_F6, Mod4Mask | Mod2Mask);
}

TEST(X11HotKeysTest, UnregisteringReleasesEveryLockVariantOnceTheLastRegistrationGoes)
{
    std::shared_ptr<X11HotKeys> hotKeys = makeHotKeys();
    ASSERT_TRUE(hotKeys);
    // Calvetto may send one combination twice for one action: both registrations share the grab.
    const auto first = hotKeys->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    const auto second = hotKeys->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    ASSERT_EQ(first.status, noErr);
    ASSERT_EQ(second.status, noErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyExclusive).status,
              eventHotKeyExistsErr);

    X11TestClient other;
    ASSERT_TRUE(other.connected());
    ASSERT_EQ(hotKeys->unregisterEventHotKey(first.hotKey), noErr);
    EXPECT_EQ(other.grab(XK_F7, Mod4Mask | ShiftMask), BadAccess) << "the second registration still holds it";

    ASSERT_EQ(hotKeys->unregisterEventHotKey(second.hotKey), noErr);
    for (unsigned int locks : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        EXPECT_EQ(other.grab(XK_F7, Mod4Mask | ShiftMask | locks), 0) << "lock variant 0x" << std::hex << locks;
    EXPECT_EQ(hotKeys->unregisterEventHotKey(second.hotKey), paramErr);
}

}
}
