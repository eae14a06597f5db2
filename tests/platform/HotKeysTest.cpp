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

TEST(HotKeysTest, ExclusiveRegistrationsKeepTheCombinationToThemselves)
{
    auto hotKeys = std::make_shared<MemoryHotKeys>();
    // Another application holds F5 exclusively, F6 shared.
    hotKeys->occupy(kVK_F5, 0, true);
    hotKeys->occupy(kVK_F6, 0, false);

    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, 0, kID, kEventHotKeyNoOptions).status, eventHotKeyExistsErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F6, 0, kID, kEventHotKeyExclusive).status, eventHotKeyExistsErr);
    auto shared = hotKeys->registerEventHotKey(kVK_F6, 0, kID, kEventHotKeyNoOptions);
    EXPECT_EQ(shared.status, noErr);
    EXPECT_NE(shared.hotKey, 0u);
    // Other modifiers are another combination.
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, shiftKey, kID, kEventHotKeyExclusive).status, noErr);
    // Our own exclusive key is refused to a later registration too.
    EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, shiftKey, kID, kEventHotKeyNoOptions).status,
              eventHotKeyExistsErr);
    EXPECT_EQ(hotKeys->registerEventHotKey(200, 0, kID, kEventHotKeyNoOptions).status, eventHotKeyInvalidErr);

    using Registered = HotKeysTestInterface::RegisteredHotKey;
    EXPECT_EQ(hotKeys->registeredHotKeys(),
              (std::vector<Registered>{{kVK_F6, 0, kID, kEventHotKeyNoOptions},
                                       {kVK_F5, shiftKey, kID, kEventHotKeyExclusive}}));

    EXPECT_EQ(hotKeys->unregisterEventHotKey(shared.hotKey), noErr);
    EXPECT_EQ(hotKeys->unregisterEventHotKey(shared.hotKey), paramErr);
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u);
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

TEST(HotKeysTest, PressesReachTheHandlersOnTheMainQueueNewestFirst)
{
    auto hotKeys = std::make_shared<MemoryHotKeys>();
    std::vector<std::string> calls;
    bool onMainQueue = true;
    auto older = hotKeys->installEventHandler([&](const HotKeyEvent& event) {
        onMainQueue = onMainQueue && DispatchQueue::main()->isCurrent();
        calls.push_back("older " + std::to_string(event.hotKeyID ? event.hotKeyID->id : 0));
        return noErr;
    });
    auto newer = hotKeys->installEventHandler([&](const HotKeyEvent& event) {
        calls.push_back("newer " + std::to_string(event.hotKeyID ? event.hotKeyID->id : 0));
        return eventNotHandledErr; // passes it on
    });
    ASSERT_EQ(older.status, noErr);
    ASSERT_EQ(newer.status, noErr);
    ASSERT_EQ(hotKeys->registerEventHotKey(kVK_ANSI_K, cmdKey, kID, 0).status, noErr);

    EXPECT_EQ(hotKeys->press(kVK_ANSI_K, cmdKey | shiftKey), 0u); // not registered
    EXPECT_EQ(hotKeys->press(kVK_ANSI_K, cmdKey), 1u);
    EXPECT_TRUE(calls.empty()); // not on the pressing thread
    drainMainQueue();
    EXPECT_EQ(calls, (std::vector<std::string>{"newer 7", "older 7"}));
    EXPECT_TRUE(onMainQueue);

    // A handler removed before the event is served is not called.
    calls.clear();
    hotKeys->press(kVK_ANSI_K, cmdKey);
    EXPECT_EQ(hotKeys->removeEventHandler(newer.handler), noErr);
    EXPECT_EQ(hotKeys->removeEventHandler(newer.handler), paramErr);
    drainMainQueue();
    EXPECT_EQ(calls, (std::vector<std::string>{"older 7"}));
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 1u);
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
