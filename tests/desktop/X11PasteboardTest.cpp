#include "platform/linux/X11Pasteboard.h"

#include "DesktopTools.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace tvi {
namespace {

using namespace std::chrono_literals;
using test::xclipRead;
using test::xclipWrite;

class X11PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::requireDisplay());
        std::string why;
        pasteboard_ = X11Pasteboard::create(why);
        ASSERT_TRUE(pasteboard_) << why;
        ASSERT_TRUE(pasteboard_->canSignalChanges());
        token_ = pasteboard_->addChangeListener([this] {
            std::lock_guard lock(mutex_);
            ++signals_;
            signalled_.notify_all();
        });
    }
    void TearDown() override
    {
        if (!pasteboard_) return;
        pasteboard_->removeChangeListener(token_);
        // Ends the xclip still serving the clipboard: it exits once it loses the selection.
        pasteboard_->takeClipboardOwnership();
    }

    // Waits for the change signal that brings the change count `moves` past `from`.
    void waitForCount(std::int64_t from, std::int64_t moves)
    {
        std::unique_lock lock(mutex_);
        signalled_.wait_for(lock, 10s, [&] { return pasteboard_->changeCount() >= from + moves; });
        EXPECT_EQ(pasteboard_->changeCount(), from + moves);
    }

    std::shared_ptr<X11Pasteboard> pasteboard_;
    Pasteboard::ListenerToken token_ = 0;
    std::mutex mutex_;
    std::condition_variable signalled_;
    int signals_ = 0;
};

// Writes, their signals and text read back are in PasteboardContract (X11BackendsContractTest);
// these are the X clipboard's own: Telvora's takeover and the PRIMARY selection.
TEST_F(X11PasteboardTest, TakingOwnershipIsNoChangeServesThePreviousTextAndTheNextCopyIsSeen)
{
    const std::int64_t start = pasteboard_->changeCount();
    xclipWrite("clipboard", "before the copy");
    waitForCount(start, 1);

    ASSERT_TRUE(pasteboard_->takeClipboardOwnership());
    // xclip's request is served by the pasteboard's thread, which by then has seen its own takeover.
    EXPECT_EQ(xclipRead("clipboard"), "before the copy");
    EXPECT_EQ(pasteboard_->changeCount(), start + 1);
    EXPECT_EQ(pasteboard_->plainText(), "before the copy");
    const std::string targets = test::shellOutput("timeout 10 xclip -o -selection clipboard -t TARGETS 2>/dev/null");
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;

    xclipWrite("clipboard", "before the copy"); // the application's copy, equal text: still a change
    waitForCount(start, 2);
    EXPECT_EQ(pasteboard_->plainText(), "before the copy");
    xclipWrite("clipboard", "copied");
    waitForCount(start, 3);
    EXPECT_EQ(pasteboard_->plainText(), "copied");
}

TEST_F(X11PasteboardTest, PrimaryCopiedToTheClipboardIsAChangeAndServedToOthers)
{
    xclipWrite("primary", "555");
    ASSERT_EQ(xclipRead("primary"), "555"); // xclip's background child owns it by now
    const std::int64_t start = pasteboard_->changeCount();
    ASSERT_TRUE(pasteboard_->copyPrimaryToClipboard());
    waitForCount(start, 1);
    EXPECT_EQ(pasteboard_->plainText(), "555");
    EXPECT_EQ(xclipRead("clipboard"), "555");
    EXPECT_EQ(pasteboard_->changeCount(), start + 1); // serving it is no further change
    // A second copy of the same selection counts again, as a terminal's second copy would.
    ASSERT_TRUE(pasteboard_->copyPrimaryToClipboard());
    waitForCount(start, 2);
}

}
}
