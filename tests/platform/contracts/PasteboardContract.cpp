#include "platform/contracts/PasteboardContract.h"

#include <atomic>
#include <string>
#include <thread>

namespace tvi::test {

using namespace std::chrono_literals;

void PasteboardContract::SetUp()
{
    openBackend(&PasteboardDriver::pasteboard, pasteboard_);
    if (HasFatalFailure()) return;
    if (!pasteboard_->canSignalChanges()) return;
    token_ = pasteboard_->addChangeListener([this] {
        std::lock_guard lock(mutex_);
        ++signals_;
        signalled_.notify_all();
    });
    ASSERT_NE(token_, 0u);
}

void PasteboardContract::TearDown()
{
    if (token_) pasteboard_->removeChangeListener(token_);
}

bool PasteboardContract::changes(const std::function<void()>& write)
{
    const std::int64_t before = pasteboard_->changeCount();
    int signalsBefore = 0;
    {
        std::lock_guard lock(mutex_);
        signalsBefore = signals_;
    }
    write();
    const auto deadline = std::chrono::steady_clock::now() + driver_->changeTime();
    if (!pasteboard_->canSignalChanges()) {
        while (pasteboard_->changeCount() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        return pasteboard_->changeCount() != before;
    }
    std::unique_lock lock(mutex_);
    // The count moves before the signal that tells of it.
    return signalled_.wait_until(lock, deadline, [&] {
        return signals_ > signalsBefore && pasteboard_->changeCount() != before;
    });
}

TEST_P(PasteboardContract, EveryWriteMovesTheChangeCountEqualTextIncluded)
{
    ASSERT_TRUE(changes([&] { driver_->writeText("089 1234"); }));
    EXPECT_EQ(pasteboard_->plainText(), "089 1234");
    const std::int64_t afterFirst = pasteboard_->changeCount();
    ASSERT_TRUE(changes([&] { driver_->writeText("089 1234"); })) << "equal text is a write too";
    EXPECT_NE(pasteboard_->changeCount(), afterFirst);
    EXPECT_EQ(pasteboard_->plainText(), "089 1234");

    ASSERT_TRUE(changes([&] { driver_->writeNonText(); }));
    EXPECT_EQ(pasteboard_->plainText(), std::nullopt) << "an image has no text";
}

TEST_P(PasteboardContract, TextReadsBackAsWritten)
{
    for (const std::string text : {"+41 44 668 18 00\n", "Z\xC3\xBCrich \xE2\x98\x8E 089 1234", " "}) {
        ASSERT_TRUE(changes([&] { driver_->writeText(text); }));
        EXPECT_EQ(pasteboard_->plainText(), text);
    }
    // Larger than one X request carries, say.
    std::string large;
    for (int i = 0; large.size() < (5u << 20); ++i) large += "line " + std::to_string(i) + " \xC3\xA4\n";
    ASSERT_TRUE(changes([&] { driver_->writeText(large); }));
    const std::optional<std::string> readBack = pasteboard_->plainText();
    ASSERT_TRUE(readBack);
    EXPECT_EQ(readBack->size(), large.size());
    EXPECT_TRUE(*readBack == large);

    ASSERT_TRUE(changes([&] { driver_->writeText(""); }));
    EXPECT_EQ(pasteboard_->plainText(), "") << "empty text is text, not its absence";
}

TEST_P(PasteboardContract, ARemovedListenerIsNeverCalledAgain)
{
    std::atomic<int> calls{0};
    const Pasteboard::ListenerToken token = pasteboard_->addChangeListener([&] { ++calls; });
    if (!pasteboard_->canSignalChanges()) {
        EXPECT_EQ(token, 0u) << "a backend that cannot signal refuses listeners";
        return;
    }
    ASSERT_NE(token, 0u);
    ASSERT_TRUE(changes([&] { driver_->writeText("first"); }));
    // Listeners are called one after the other: this one may come just after the suite's own.
    const auto deadline = std::chrono::steady_clock::now() + driver_->changeTime();
    while (calls == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
    EXPECT_GE(calls, 1);

    pasteboard_->removeChangeListener(token);
    const int callsBefore = calls;
    // The suite's own listener tells that this change was signalled.
    ASSERT_TRUE(changes([&] { driver_->writeText("second"); }));
    EXPECT_EQ(calls, callsBefore);
}

}
