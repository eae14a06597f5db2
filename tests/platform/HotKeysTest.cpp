#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "platform/HotKeys.h"
#include "platform/KeyboardLayout.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryHotKeys.h"
#include "platform/memory/MemoryKeyboardLayout.h"
#include "platform/MacKeyCodes.h"

#include "support/DrainMainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tvi {
namespace {

using test::drainMainQueue;

constexpr EventHotKeyID kID{0x54455354, 7};

TEST(HotKeysTest, TheDefaultBackendIsTheInMemoryOne)
{
    auto hotKeys = Platform::get<HotKeys>();
    ASSERT_TRUE(hotKeys);
    EXPECT_TRUE(std::dynamic_pointer_cast<HotKeysTestInterface>(hotKeys));
    EXPECT_TRUE(hotKeys->isAvailable());
    EXPECT_TRUE(std::dynamic_pointer_cast<KeyboardLayoutTestInterface>(Platform::get<KeyboardLayout>()));
}

// What every backend does with combinations is in HotKeysContract; another application's
// shared hold on one is the in-memory backend's own.
TEST(HotKeysTest, ACombinationAnotherApplicationSharesIsSharedButNeverExclusively)
{
    auto hotKeys = std::make_shared<MemoryHotKeys>();
    hotKeys->occupy(kVK_F6, 0, false);

    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F6, 0, kID, kEventHotKeyExclusive).status, eventHotKeyExistsErr);
    auto shared = hotKeys->registerEventHotKey(kVK_F6, 0, kID, kEventHotKeyNoOptions);
    EXPECT_EQ(shared.status, noErr);
    EXPECT_NE(shared.hotKey, 0u);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, shiftKey, kID, kEventHotKeyExclusive).status, noErr);

    using Registered = HotKeysTestInterface::RegisteredHotKey;
    EXPECT_EQ(hotKeys->registeredHotKeys(),
              (std::vector<Registered>{{kVK_F6, 0, kID, kEventHotKeyNoOptions},
                                       {kVK_F5, shiftKey, kID, kEventHotKeyExclusive}}));
    EXPECT_EQ(hotKeys->press(kVK_F6, shiftKey), 0u); // not registered
    EXPECT_EQ(hotKeys->press(kVK_F6, 0), 1u);
    EXPECT_EQ(hotKeys->unregisterEventHotKey(shared.hotKey), noErr);
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u);
    drainMainQueue();
}

TEST(HotKeysTest, RefusalAndUnavailabilityFailRegistrations)
{
    auto hotKeys = std::make_shared<MemoryHotKeys>();
    hotKeys->setRegistrationRefusal(eventHotKeyInvalidErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F1, 0, kID, 0).status, eventHotKeyInvalidErr);
    hotKeys->setRegistrationRefusal(noErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F1, 0, kID, 0).status, noErr);

    hotKeys->setAvailable(false);
    EXPECT_FALSE(hotKeys->isAvailable());
    EXPECT_EQ(hotKeys->installEventHandler([](const HotKeyEvent&) { return noErr; }).status, eventInternalErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F2, 0, kID, 0).status, eventInternalErr);
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
}

TEST(HotKeysTest, AnEventQueuedForADestroyedBackendIsDropped)
{
    int calls = 0;
    {
        auto hotKeys = std::make_shared<MemoryHotKeys>();
        hotKeys->installEventHandler([&](const HotKeyEvent&) {
            ++calls;
            return noErr;
        });
        hotKeys->postEvent(HotKeyEvent{});
    }
    drainMainQueue();
    EXPECT_EQ(calls, 0);
}

TEST(HotKeysTest, MemoryKeyboardLayoutTypesTheUSLayout)
{
    MemoryKeyboardLayout layout;
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_A), "a");
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Y), "y");
    EXPECT_EQ(layout.characterForKeyCode(kVK_F20), "\x10");
    EXPECT_EQ(layout.characterForKeyCode(kVK_Shift), "");

    layout.setCharacter(kVK_ANSI_Y, "z"); // a German keyboard
    layout.setCharacter(kVK_ANSI_Semicolon, std::nullopt);
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Y), "z");
    EXPECT_FALSE(layout.characterForKeyCode(kVK_ANSI_Semicolon));
    layout.resetToUSLayout();
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Y), "y");
}

}
}
