#include "platform/contracts/KeyEventsContract.h"

#include "platform/MacKeyCodes.h"

#include <unistd.h>

namespace tvi::test {

void KeyEventsContract::SetUp()
{
    openBackend(&KeyEventsDriver::keyEvents, keyEvents_);
    if (HasFatalFailure()) return;
    driver_->bringApplicationToFront(getpid());
}

TEST_P(KeyEventsContract, TheFrontProcessIsTheOneThatReceivesTheKeys)
{
    EXPECT_EQ(keyEvents_->frontProcess(), KeyEvents::ProcessId(getpid()));
}

TEST_P(KeyEventsContract, APostedChordArrivesOnceWithExactlyItsModifiersAndNothingStaysDown)
{
    // Not the copy chord: a platform may turn that into its own copy.
    constexpr std::uint64_t controlShift = NSEventModifierFlagControl | NSEventModifierFlagShift;
    ASSERT_TRUE(keyEvents_->postKeyDown(kVK_ANSI_A, NSEventModifierFlagShift));
    ASSERT_TRUE(keyEvents_->postKeyUp(kVK_ANSI_A));
    ASSERT_TRUE(keyEvents_->postKeyDown(kVK_ANSI_7, controlShift));
    ASSERT_TRUE(keyEvents_->postKeyUp(kVK_ANSI_7));
    ASSERT_TRUE(keyEvents_->postKeyDown(kVK_F5, 0));
    ASSERT_TRUE(keyEvents_->postKeyUp(kVK_F5));

    EXPECT_EQ(driver_->receivedPresses(), (std::vector<ReceivedKeyPress>{{kVK_ANSI_A, NSEventModifierFlagShift},
                                                                          {kVK_ANSI_7, controlShift},
                                                                          {kVK_F5, 0}}));
    EXPECT_TRUE(driver_->everyKeyIsUp());
}

}
