#include "foundation/DispatchQueue.h"
#include "foundation/KeyedArchiver.h"
#include "foundation/MainRunLoop.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryHotKeys.h"
#include "platform/memory/MemoryKeyboardLayout.h"
#include "shortcuts/MASShortcutMonitor.h"
#include "shortcuts/MASShortcutUserDefaults.h"
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

constexpr std::uint64_t kShift = NSEventModifierFlagShift;
constexpr std::uint64_t kControl = NSEventModifierFlagControl;
constexpr std::uint64_t kCommand = NSEventModifierFlagCommand;
constexpr const char* kKey = "TVITestShortcut";

using Registered = HotKeysTestInterface::RegisteredHotKey;

class MASShortcutMonitorTest : public ::testing::Test {
protected:
    std::shared_ptr<MemoryHotKeys> hotKeys = std::make_shared<MemoryHotKeys>();
    Platform::Scoped<HotKeys> scopedHotKeys{hotKeys};
    Platform::Scoped<KeyboardLayout> scopedLayout{std::make_shared<MemoryKeyboardLayout>()};
    std::vector<std::string> presses;

    void SetUp() override { MASShortcutMonitor::setExclusiveMode(true); }

    void TearDown() override
    {
        MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(kKey);
        UserDefaults::standard().removeObjectForKey(kKey);
        for (const auto& [monitor, shortcut] : MASShortcutMonitor::copyOfMASRegisteredHotKeys())
            MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
        // A failed first registration leaves the handler installed; clear it for the next test.
        auto cleanup = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F19, kShift), {});
        MASShortcutMonitor::removeGlobalHotkeyMonitor(cleanup);
        EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
        MASShortcutMonitor::setExclusiveMode(true);
    }

    MASShortcutMonitor::Handler recorder(std::string name)
    {
        return [this, name] { presses.push_back(name); };
    }

    std::vector<std::string> press(const MASShortcut& shortcut)
    {
        presses.clear();
        hotKeys->press(shortcut.carbonKeyCode(), shortcut.carbonFlags());
        drainMainQueue();
        return presses;
    }

    std::uint32_t lastNumber() const { return hotKeys->registeredHotKeys().back().hotKeyID.id; }
};

TEST_F(MASShortcutMonitorTest, RegisteredShortcutRunsItsHandlerOnTheMainQueueUntilRemoved)
{
    MASShortcut shortcut(kVK_F5, kControl | kShift);
    bool onMainQueue = false;
    auto monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, [&] {
        onMainQueue = DispatchQueue::main()->isCurrent();
        presses.push_back("F5");
    });
    ASSERT_TRUE(monitor);
    EXPECT_EQ(*monitor, MASShortcutMonitor::monitorIdentifier(shortcut));
    EXPECT_EQ(monitor->rfind(shortcut.description(), 0), 0u); // readable: starts with the shortcut's text
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 1u);
    auto registered = hotKeys->registeredHotKeys();
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].keyCode, 96u);
    EXPECT_EQ(registered[0].modifiers, controlKey | shiftKey);
    EXPECT_EQ(registered[0].hotKeyID.signature, 0x4D415353u);
    EXPECT_EQ(registered[0].options, kEventHotKeyExclusive);

    EXPECT_EQ(press(shortcut), std::vector<std::string>{"F5"});
    EXPECT_TRUE(onMainQueue);
    EXPECT_TRUE(press(MASShortcut(kVK_F5, kControl)).empty());

    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
    EXPECT_TRUE(press(shortcut).empty());
    MASShortcutMonitor::removeGlobalHotkeyMonitor(std::nullopt);
    MASShortcutMonitor::removeGlobalHotkeyMonitor(std::string("unknown"));
}

TEST_F(MASShortcutMonitorTest, ASecondRegistrationOfTheCombinationIsRefusedAndTheFirstStays)
{
    MASShortcut shortcut(kVK_ANSI_K, kCommand | kShift);
    auto first = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, recorder("first"));
    ASSERT_TRUE(first);
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_ANSI_K, kCommand | kShift),
                                                                        recorder("second")));
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u);
    EXPECT_EQ(press(shortcut), std::vector<std::string>{"first"});

    MASShortcutMonitor::removeGlobalHotkeyMonitor(first);
    auto again = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, recorder("second"));
    ASSERT_TRUE(again);
    EXPECT_EQ(press(shortcut), std::vector<std::string>{"second"});
}

TEST_F(MASShortcutMonitorTest, ShortcutsThatLookAlikeAreStillTwoCombinations)
{
    // Keypad 1 and the 1 key both show "1".
    MASShortcut row(kVK_ANSI_1, kControl | kShift);
    MASShortcut keypad(kVK_ANSI_Keypad1, kControl | kShift);
    ASSERT_EQ(row.description(), keypad.description());
    auto a = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(row, recorder("row"));
    auto b = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(keypad, recorder("keypad"));
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(press(keypad), std::vector<std::string>{"keypad"});
    EXPECT_EQ(press(row), std::vector<std::string>{"row"});
}

TEST_F(MASShortcutMonitorTest, TheEventHandlerGoesWithTheLastMonitorAndNumbersAreNeverReused)
{
    auto a = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F1, 0), recorder("F1"));
    std::uint32_t firstNumber = lastNumber();
    auto b = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F2, 0), recorder("F2"));
    EXPECT_EQ(lastNumber(), firstNumber + 1);
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 1u); // one handler for all

    MASShortcutMonitor::removeGlobalHotkeyMonitor(a);
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 1u);
    EXPECT_EQ(press(MASShortcut(kVK_F2, 0)), std::vector<std::string>{"F2"});
    MASShortcutMonitor::removeGlobalHotkeyMonitor(b);
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);

    auto c = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F1, 0), recorder("F1 again"));
    ASSERT_TRUE(c);
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 1u);
    EXPECT_EQ(lastNumber(), firstNumber + 2);
    EXPECT_EQ(press(MASShortcut(kVK_F1, 0)), std::vector<std::string>{"F1 again"});
}

TEST_F(MASShortcutMonitorTest, ExclusiveModeDecidesTheRegistrationOption)
{
    hotKeys->occupy(kVK_F7, 0, false); // another application shares F7
    MASShortcutMonitor::setExclusiveMode(true);
    EXPECT_TRUE(MASShortcutMonitor::exclusiveMode());
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F7, 0), recorder("F7")));

    MASShortcutMonitor::setExclusiveMode(false);
    auto shared = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F7, 0), recorder("F7"));
    ASSERT_TRUE(shared);
    EXPECT_EQ(hotKeys->registeredHotKeys().back().options, kEventHotKeyNoOptions);
    EXPECT_EQ(press(MASShortcut(kVK_F7, 0)), std::vector<std::string>{"F7"});
}

TEST_F(MASShortcutMonitorTest, RefusedRegistrationsReturnNothingAndUseUpTheirNumber)
{
    auto probe = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F3, 0), {});
    std::uint32_t number = lastNumber();

    hotKeys->occupy(kVK_F4, 0, true);
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F4, 0), recorder("F4")));
    hotKeys->setRegistrationRefusal(eventHotKeyInvalidErr);
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F6, 0), recorder("F6")));
    hotKeys->setRegistrationRefusal(noErr);
    EXPECT_TRUE(MASShortcutMonitor::copyOfMASRegisteredHotKeys().size() == 1);

    ASSERT_TRUE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F6, 0), recorder("F6")));
    EXPECT_EQ(lastNumber(), number + 3);
    MASShortcutMonitor::removeGlobalHotkeyMonitor(probe);
}

TEST_F(MASShortcutMonitorTest, NothingIsRegisteredWithoutAShortcutAKeyOrAHotKeyService)
{
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(std::nullopt, recorder("none")));
    // A shortcut without a key must not turn into the A key (code 0).
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(NSNotFound, kCommand), {}));
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);

    hotKeys->setAvailable(false);
    EXPECT_FALSE(MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F1, 0), recorder("F1")));
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
    hotKeys->setAvailable(true);
    auto monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F1, 0), recorder("F1"));
    EXPECT_TRUE(monitor);
    EXPECT_EQ(press(MASShortcut(kVK_F1, 0)), std::vector<std::string>{"F1"});
}

TEST_F(MASShortcutMonitorTest, OnlyPressesOfOurOwnHotKeysRunHandlers)
{
    auto monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F8, 0), recorder("F8"));
    std::uint32_t number = lastNumber();
    presses.clear();
    hotKeys->postEvent(HotKeyEvent{kEventClassKeyboard, kEventHotKeyPressed, EventHotKeyID{0x41424344, number}});
    hotKeys->postEvent(HotKeyEvent{kEventClassKeyboard, kEventHotKeyReleased, EventHotKeyID{0x4D415353, number}});
    hotKeys->postEvent(HotKeyEvent{0x6D6F7573, kEventHotKeyPressed, EventHotKeyID{0x4D415353, number}});
    hotKeys->postEvent(HotKeyEvent{kEventClassKeyboard, kEventHotKeyPressed, EventHotKeyID{0x4D415353, number + 99}});
    drainMainQueue();
    EXPECT_TRUE(presses.empty());

    EXPECT_EQ(MASShortcutMonitor::CarbonCallback(HotKeyEvent{kEventClassKeyboard, kEventHotKeyPressed, std::nullopt}),
              eventParameterNotFoundErr);
    EXPECT_EQ(MASShortcutMonitor::CarbonCallback(
                  HotKeyEvent{kEventClassKeyboard, kEventHotKeyPressed, EventHotKeyID{0x4D415353, number}}),
              noErr);
    EXPECT_EQ(presses, std::vector<std::string>{"F8"});
}

TEST_F(MASShortcutMonitorTest, AHandlerMayRemoveItsOwnMonitor)
{
    std::optional<std::string> monitor;
    std::string captured = "still here";
    monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F9, 0), [&, captured] {
        MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
        presses.push_back(captured); // the handler's own state outlives its removal
    });
    EXPECT_EQ(press(MASShortcut(kVK_F9, 0)), std::vector<std::string>{"still here"});
    EXPECT_TRUE(MASShortcutMonitor::copyOfMASRegisteredHotKeys().empty());
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
}

TEST_F(MASShortcutMonitorTest, DefaultsBoundHotKeyFollowsTheStoredShortcut)
{
    UserDefaults& defaults = UserDefaults::standard();
    MASShortcut first(kVK_ANSI_1, kControl | kShift);
    MASShortcut second(kVK_F5, kCommand);
    MASShortcutUserDefaults::setGlobalShortcut(first, kKey);
    EXPECT_EQ(defaults.dataForKey(kKey), first.data());

    MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(kKey, recorder("bound"));
    EXPECT_EQ(MASShortcutUserDefaults::registeredUserDefaultsHotKeys().at(kKey),
              MASShortcutMonitor::monitorIdentifier(first));
    EXPECT_EQ(press(first), std::vector<std::string>{"bound"});

    defaults.setData(second.data(), kKey); // as the preferences window writes it
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u);
    EXPECT_TRUE(press(first).empty());
    EXPECT_EQ(press(second), std::vector<std::string>{"bound"});

    // Cleared in a recorder: the archive of nil stays under the key, the hot key goes.
    defaults.setData(KeyedArchiver::archivedDataWithNilRoot(), kKey);
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    EXPECT_FALSE(MASShortcutUserDefaults::registeredUserDefaultsHotKeys().at(kKey));
    EXPECT_TRUE(press(second).empty());

    defaults.setData(first.data(), kKey);
    EXPECT_EQ(press(first), std::vector<std::string>{"bound"});
    defaults.setData(PlistData{1, 2, 3}, kKey); // unreadable: nothing
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    defaults.setData(first.data(), kKey);
    MASShortcutUserDefaults::setGlobalShortcut(std::nullopt, kKey);
    EXPECT_FALSE(defaults.dataForKey(kKey));
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
}

TEST_F(MASShortcutMonitorTest, RebindingAKeyKeepsExactlyOneHotKeyAndUnbindingKeepsTheValue)
{
    MASShortcut shortcut(kVK_ANSI_3, kControl | kShift);
    MASShortcutUserDefaults::setGlobalShortcut(shortcut, kKey);
    MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(kKey, recorder("old"));
    MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(kKey, recorder("new"));
    EXPECT_EQ(MASShortcutUserDefaults::registeredUserDefaultsHotKeys().size(), 1u);
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u);
    EXPECT_EQ(press(shortcut), std::vector<std::string>{"new"});

    MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(kKey);
    EXPECT_TRUE(MASShortcutUserDefaults::registeredUserDefaultsHotKeys().empty());
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    EXPECT_EQ(hotKeys->installedEventHandlerCount(), 0u);
    EXPECT_EQ(UserDefaults::standard().dataForKey(kKey), shortcut.data());
    UserDefaults::standard().setData(MASShortcut(kVK_F2, 0).data(), kKey); // no longer followed
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());

    // Binding a key that holds nothing installs nothing until a shortcut is stored.
    UserDefaults::standard().removeObjectForKey(kKey);
    MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(kKey, recorder("late"));
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty());
    MASShortcutUserDefaults::setGlobalShortcut(shortcut, kKey);
    EXPECT_EQ(press(shortcut), std::vector<std::string>{"late"});
}

}
}
