#include "platform/contracts/HotKeysContract.h"

#include "foundation/DispatchQueue.h"
#include "platform/MacKeyCodes.h"
#include "support/DrainMainQueue.h"

#include <string>
#include <thread>
#include <vector>

namespace tvi::test {

namespace {

constexpr EventHotKeyID kMakeCall{0x54564931, 1};
constexpr KeyCombination kCommandF5{kVK_F5, cmdKey};

std::string describe(unsigned locks)
{
    if (locks == kNoLocks) return "no lock keys lit";
    return std::string(locks & kCapsLock ? "CapsLock " : "") + (locks & kNumLock ? "NumLock " : "") + "lit";
}

// Handlers that note each call, in the order of the calls.
struct HandlerCalls {
    std::vector<std::string> calls;
    bool onMainQueue = true;

    HotKeys::EventHandler handler(std::string name, OSStatus answer)
    {
        return [this, name, answer](const HotKeyEvent& event) {
            onMainQueue = onMainQueue && DispatchQueue::main()->isCurrent();
            calls.push_back(name + " " + std::to_string(event.hotKeyID ? event.hotKeyID->id : 0));
            return answer;
        };
    }
};

}

void HotKeysContract::SetUp()
{
    openBackend(&HotKeysDriver::hotKeys, hotKeys_);
}

namespace {

bool serveMainQueueFor(std::chrono::milliseconds time, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + time;
    do {
        drainMainQueue();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return done();
}

}

bool HotKeysContract::serveMainQueueUntil(const std::function<bool()>& done)
{
    return serveMainQueueFor(driver_->deliveryTime(), done);
}

void HotKeysContract::settle()
{
    serveMainQueueFor(driver_->settleTime(), [] { return false; });
}

TEST_P(HotKeysContract, ACombinationAnotherProgramHoldsIsRefusedWithoutHoldingPartOfIt)
{
    // Whichever lock state the other program took it in, X-style or not: each on a fresh backend.
    for (unsigned locks : driver_->lockStates()) {
        SCOPED_TRACE(describe(locks));
        std::unique_ptr<HotKeysDriver> driver = GetParam()();
        std::shared_ptr<HotKeys> hotKeys = driver->hotKeys();
        ASSERT_TRUE(hotKeys);
        driver->occupy(kCommandF5, locks);

        EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyNoOptions).status,
                  eventHotKeyExistsErr);
        EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyExclusive).status,
                  eventHotKeyExistsErr);
        EXPECT_TRUE(hotKeys->isAvailable()) << "a refused combination is no reason to give up";
        EXPECT_TRUE(driver->otherProgramCanTake(kCommandF5)) << "the refusal left part of the combination held";
        // Other modifiers are another combination.
        EXPECT_EQ(hotKeys->registerEventHotKey(kVK_F5, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions).status,
                  noErr);
    }
}

TEST_P(HotKeysContract, APressReachesTheHandlersOnceOnTheMainQueueNewestFirst)
{
    HandlerCalls handlers;
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("older", noErr)).status, noErr);
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("newer", eventNotHandledErr)).status, noErr);
    ASSERT_EQ(hotKeys_->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyNoOptions).status, noErr);

    driver_->press(kCommandF5, kNoLocks);
    EXPECT_TRUE(handlers.calls.empty()) << "handlers run on the main queue, not where the press was seen";
    ASSERT_TRUE(serveMainQueueUntil([&] { return handlers.calls.size() >= 2; }));
    settle(); // a second delivery would have come by now
    EXPECT_EQ(handlers.calls, (std::vector<std::string>{"newer 1", "older 1"}));
    EXPECT_TRUE(handlers.onMainQueue);
}

TEST_P(HotKeysContract, APressWithLockKeysLitReachesTheHotKeyOnce)
{
    if (driver_->lockStates().size() < 2) GTEST_SKIP() << "this keyboard has no lock keys";
    HandlerCalls handlers;
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("handler", noErr)).status, noErr);
    ASSERT_EQ(hotKeys_->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyNoOptions).status, noErr);

    std::size_t expected = 0;
    for (unsigned locks : driver_->lockStates()) {
        SCOPED_TRACE(describe(locks));
        driver_->press(kCommandF5, locks);
        ++expected;
        EXPECT_TRUE(serveMainQueueUntil([&] { return handlers.calls.size() >= expected; }));
        settle();
        EXPECT_EQ(handlers.calls.size(), expected);
        expected = handlers.calls.size();
    }
}

TEST_P(HotKeysContract, AnotherModifierStateIsAnotherCombination)
{
    HandlerCalls handlers;
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("handler", noErr)).status, noErr);
    ASSERT_EQ(hotKeys_->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyExclusive).status, noErr);
    EXPECT_EQ(hotKeys_->registerEventHotKey(kVK_F5, shiftKey, kMakeCall, kEventHotKeyExclusive).status, noErr);

    driver_->press({kVK_F5, cmdKey | shiftKey}, kNoLocks);
    driver_->press({kVK_F5, 0}, kNoLocks);
    settle();
    EXPECT_TRUE(handlers.calls.empty());
}

TEST_P(HotKeysContract, ARemovedHandlerIsNotCalledEvenForAPressMadeBefore)
{
    HandlerCalls handlers;
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("older", noErr)).status, noErr);
    const HotKeys::HandlerInstallation newer = hotKeys_->installEventHandler(handlers.handler("newer", noErr));
    ASSERT_EQ(newer.status, noErr);
    EXPECT_NE(newer.handler, 0u);
    EXPECT_EQ(hotKeys_->installEventHandler(nullptr).status, paramErr);
    ASSERT_EQ(hotKeys_->registerEventHotKey(kVK_F5, cmdKey, kMakeCall, kEventHotKeyNoOptions).status, noErr);

    driver_->press(kCommandF5, kNoLocks);
    EXPECT_EQ(hotKeys_->removeEventHandler(newer.handler), noErr);
    EXPECT_EQ(hotKeys_->removeEventHandler(newer.handler), paramErr);
    ASSERT_TRUE(serveMainQueueUntil([&] { return !handlers.calls.empty(); }));
    settle();
    EXPECT_EQ(handlers.calls, std::vector<std::string>{"older 1"});
}

TEST_P(HotKeysContract, OurOwnRegistrationsShareACombinationUnlessOneIsExclusive)
{
    // Calvetto may send one combination twice for one action.
    const auto first = hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    const auto second = hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    ASSERT_EQ(first.status, noErr);
    ASSERT_EQ(second.status, noErr);
    EXPECT_NE(first.hotKey, 0u);
    EXPECT_NE(first.hotKey, second.hotKey);
    EXPECT_EQ(hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyExclusive).status,
              eventHotKeyExistsErr);

    ASSERT_EQ(hotKeys_->registerEventHotKey(kVK_F8, cmdKey, kMakeCall, kEventHotKeyExclusive).status, noErr);
    EXPECT_EQ(hotKeys_->registerEventHotKey(kVK_F8, cmdKey, kMakeCall, kEventHotKeyNoOptions).status,
              eventHotKeyExistsErr);
    EXPECT_EQ(hotKeys_->registerEventHotKey(200, 0, kMakeCall, kEventHotKeyNoOptions).status, eventHotKeyInvalidErr);
}

TEST_P(HotKeysContract, UnregisteringFreesTheCombinationOnceItsLastRegistrationGoes)
{
    const KeyCombination combination{kVK_F7, cmdKey | shiftKey};
    HandlerCalls handlers;
    ASSERT_EQ(hotKeys_->installEventHandler(handlers.handler("handler", noErr)).status, noErr);
    const auto first = hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    const auto second = hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyNoOptions);
    ASSERT_EQ(first.status, noErr);
    ASSERT_EQ(second.status, noErr);
    EXPECT_FALSE(driver_->otherProgramCanTake(combination));

    ASSERT_EQ(hotKeys_->unregisterEventHotKey(first.hotKey), noErr);
    EXPECT_FALSE(driver_->otherProgramCanTake(combination)) << "the second registration still holds it";
    driver_->press(combination, kNoLocks);
    EXPECT_TRUE(serveMainQueueUntil([&] { return !handlers.calls.empty(); }));

    ASSERT_EQ(hotKeys_->unregisterEventHotKey(second.hotKey), noErr);
    EXPECT_TRUE(driver_->otherProgramCanTake(combination)) << "in every lock state";
    EXPECT_EQ(hotKeys_->unregisterEventHotKey(second.hotKey), paramErr);
    EXPECT_EQ(hotKeys_->unregisterEventHotKey(second.hotKey + 1000), paramErr);
    driver_->press(combination, kNoLocks);
    settle();
    EXPECT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(hotKeys_->registerEventHotKey(kVK_F7, cmdKey | shiftKey, kMakeCall, kEventHotKeyExclusive).status,
              noErr);
}

}
