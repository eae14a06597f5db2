#include "capture/TVIPasteBoardObserver.h"

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLog.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryPasteboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <stdexcept>

namespace tvi {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::optional<std::string>>;
constexpr auto kPatience = 10s; // only a hang gets near this

// An in-memory pasteboard that counts the poller's reads of the change count (every pass
// makes one) and can hold the poller at its next read. It signals its changes only when
// told to, so that polling is tested too.
class ProbePasteboard : public Pasteboard {
public:
    bool isAvailable() const override { return memory.isAvailable(); }
    std::optional<std::string> plainText() const override { return memory.plainText(); }
    bool canSignalChanges() const override { return signalsChanges; }
    ListenerToken addChangeListener(ChangeListener listener) override
    {
        return memory.addChangeListener(std::move(listener));
    }
    void removeChangeListener(ListenerToken token) override { memory.removeChangeListener(token); }
    std::int64_t changeCount() const override
    {
        std::unique_lock lock(mutex_);
        ++reads_;
        heldAtGate_ = gateClosed_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !gateClosed_; });
        heldAtGate_ = false;
        return memory.changeCount();
    }

    // Returns once the poller has read the count `more` times after the call: a change
    // written before the call has then been announced after two reads.
    void waitForReads(int more)
    {
        std::unique_lock lock(mutex_);
        const long target = reads_ + more;
        ASSERT_TRUE(changed_.wait_for(lock, kPatience, [&] { return reads_ >= target; }));
    }
    void waitForTotalReads(long total = 1)
    {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, kPatience, [&] { return reads_ >= total; }));
    }
    long reads() const
    {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    void holdPollerAtNextRead()
    {
        std::unique_lock lock(mutex_);
        gateClosed_ = true;
        ASSERT_TRUE(changed_.wait_for(lock, kPatience, [&] { return heldAtGate_; }));
    }
    void releasePoller()
    {
        std::lock_guard lock(mutex_);
        gateClosed_ = false;
        changed_.notify_all();
    }

    MemoryPasteboard memory;
    bool signalsChanges = false;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable long reads_ = 0;
    mutable bool heldAtGate_ = false;
    bool gateClosed_ = false;
};

// Records every "pasteboardUpdated" on the default centre.
class Announcements {
public:
    using Reaction = std::function<void(const std::optional<std::string>&)>;

    explicit Announcements(Reaction reaction = {}) : reaction_(std::move(reaction))
    {
        token_ = NotificationCenter::defaultCenter().addObserver(
            TVIPasteBoardObserver::kPasteboardUpdatedNotification, nullptr, [this](const Notification& n) {
                const std::optional<std::string> text = TVIPasteBoardObserver::stringFromNotification(n);
                if (reaction_) reaction_(text);
                std::lock_guard lock(mutex_);
                texts_.push_back(text);
                arrived_.notify_all();
            });
    }
    ~Announcements() { NotificationCenter::defaultCenter().removeObserver(token_); }

    Texts texts() const
    {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    void waitForCount(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(arrived_.wait_for(lock, kPatience, [&] { return texts_.size() >= count; }));
    }

private:
    Reaction reaction_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    Texts texts_;
    NotificationCenter::ObserverToken token_ = 0;
};

class RecordingLogger : public DDAbstractLogger {
public:
    RecordingLogger() : DDAbstractLogger("test.capture") {}
    void logMessage(const DDLogMessage& message) override
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(message.logMsg());
    }
    std::vector<std::string> lines() const
    {
        DDLog::flushLog();
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class TVIPasteBoardObserverTest : public ::testing::Test {
protected:
    std::shared_ptr<ProbePasteboard> pasteboard_ = std::make_shared<ProbePasteboard>();
    Platform::Scoped<Pasteboard> installed_{pasteboard_};
    static constexpr auto kFast = 2ms;
};

TEST_F(TVIPasteBoardObserverTest, ContentPresentAtStartIsNeverAnnounced)
{
    pasteboard_->memory.writeText("there before");
    Announcements announcements;
    TVIPasteBoardObserver observer(kFast);
    pasteboard_->waitForReads(5);
    EXPECT_TRUE(announcements.texts().empty());
    EXPECT_EQ(observer.countChangedInPasteboard(), pasteboard_->memory.changeCount());
}

TEST_F(TVIPasteBoardObserverTest, EveryWriteIsAnnouncedOnceOnThePollingThreadEqualTextAndNonTextIncluded)
{
    const auto testThread = std::this_thread::get_id();
    std::atomic<bool> onTestThread{false};
    Announcements announcements([&](auto&) { onTestThread = onTestThread || std::this_thread::get_id() == testThread; });
    TVIPasteBoardObserver observer(kFast);
    for (int i = 0; i < 2; ++i) {
        pasteboard_->memory.writeText("089 1234");
        pasteboard_->waitForReads(2);
    }
    pasteboard_->memory.writeNonText(); // an image: announced without text, and watching goes on
    pasteboard_->waitForReads(2);
    pasteboard_->memory.writeText("123");
    pasteboard_->waitForReads(5);
    EXPECT_EQ(announcements.texts(), (Texts{"089 1234", "089 1234", std::nullopt, "123"}));
    EXPECT_FALSE(onTestThread);
}

TEST_F(TVIPasteBoardObserverTest, SeveralWritesBetweenTwoPassesGiveOneAnnouncementOfTheLatest)
{
    Announcements announcements;
    TVIPasteBoardObserver observer(kFast);
    pasteboard_->holdPollerAtNextRead();
    pasteboard_->memory.writeText("first");
    pasteboard_->memory.writeNonText();
    pasteboard_->memory.writeText("last");
    pasteboard_->releasePoller();
    pasteboard_->waitForReads(4);
    EXPECT_EQ(announcements.texts(), (Texts{"last"}));
}

TEST_F(TVIPasteBoardObserverTest, WritesMadeWhileObserversRunCountAsSeen)
{
    bool first = true; // polling thread only
    Announcements announcements([&](const std::optional<std::string>&) {
        if (std::exchange(first, false)) pasteboard_->memory.writeText("written by an observer");
    });
    TVIPasteBoardObserver observer(kFast);
    pasteboard_->memory.writeText("copied");
    pasteboard_->waitForReads(5);
    EXPECT_EQ(announcements.texts(), (Texts{"copied"}));
    pasteboard_->memory.writeText("copied later");
    pasteboard_->waitForReads(3);
    EXPECT_EQ(announcements.texts(), (Texts{"copied", "copied later"}));
}

TEST_F(TVIPasteBoardObserverTest, AFailingObserverDoesNotEndTheWatching)
{
    Announcements announcements([](const std::optional<std::string>& text) {
        if (text == "bad") throw std::runtime_error("observer failed");
    });
    TVIPasteBoardObserver observer(kFast);
    pasteboard_->memory.writeText("bad");
    pasteboard_->waitForReads(3);
    pasteboard_->memory.writeText("good");
    announcements.waitForCount(1);
    pasteboard_->waitForReads(3);
    EXPECT_EQ(announcements.texts(), (Texts{"good"}));
}

TEST_F(TVIPasteBoardObserverTest, StoppedObserverAnnouncesNothingAndResumingReportsTheChange)
{
    Announcements announcements;
    TVIPasteBoardObserver observer(kFast);
    pasteboard_->waitForTotalReads();
    observer.setIsStarted(false);
    EXPECT_FALSE(observer.isStarted());
    const long readsWhenStopped = pasteboard_->reads();
    pasteboard_->memory.writeText("while stopped");
    std::this_thread::sleep_for(50 * kFast);
    EXPECT_TRUE(announcements.texts().empty());
    EXPECT_EQ(pasteboard_->reads(), readsWhenStopped);

    observer.setIsStarted(true);
    observer.setIsStarted(true); // a second start adds no second thread
    pasteboard_->waitForReads(3);
    EXPECT_EQ(announcements.texts(), (Texts{"while stopped"}));
}

TEST_F(TVIPasteBoardObserverTest, ASignallingPasteboardIsLookedAtOnEveryChangeAndNeverPolled)
{
    pasteboard_->signalsChanges = true;
    Announcements announcements;
    TVIPasteBoardObserver observer(kFast);
    // One read at construction, one by the first pass, then two per signalled pass: polling
    // every 2 ms would add more.
    pasteboard_->waitForTotalReads(2);
    const auto copyAndWaitForThePass = [&](std::optional<std::string> text, long pass) {
        text ? pasteboard_->memory.writeText(*text) : pasteboard_->memory.writeNonText();
        pasteboard_->waitForTotalReads(2 + 2 * pass);
    };
    copyAndWaitForThePass("089 1234", 1);
    copyAndWaitForThePass("089 1234", 2);
    copyAndWaitForThePass(std::nullopt, 3);
    EXPECT_EQ(announcements.texts(), (Texts{"089 1234", "089 1234", std::nullopt}));

    std::this_thread::sleep_for(50 * kFast);
    EXPECT_EQ(pasteboard_->reads(), 8);
    observer.setIsStarted(false);
    pasteboard_->memory.writeText("while stopped");
    observer.setIsStarted(true);
    announcements.waitForCount(4);
    EXPECT_EQ(announcements.texts().back(), "while stopped");
}

TEST_F(TVIPasteBoardObserverTest, DestructionEndsTheSleepAtOnceWhetherPollingOrWaitingForASignal)
{
    for (const bool signals : {false, true}) {
        pasteboard_->signalsChanges = signals;
        const long readsBefore = pasteboard_->reads();
        std::chrono::steady_clock::time_point start;
        {
            TVIPasteBoardObserver observer(1h);
            pasteboard_->waitForTotalReads(readsBefore + 1);
            start = std::chrono::steady_clock::now();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, kPatience) << signals; // a hang, not a speed check
    }
}

TEST_F(TVIPasteBoardObserverTest, ObserverDestroyedFromItsOwnNotificationStopsWithoutDeadlock)
{
    auto observer = std::make_unique<TVIPasteBoardObserver>(kFast);
    Announcements announcements([&](const std::optional<std::string>&) { observer.reset(); });
    pasteboard_->memory.writeText("x");
    announcements.waitForCount(1);
    // The detached thread lets go of the pasteboard as it ends.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (pasteboard_.use_count() > 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(pasteboard_.use_count(), 2); // this fixture and the installed slot
    EXPECT_FALSE(observer);
}

TEST_F(TVIPasteBoardObserverTest, LogsWhenThePasteboardCannotBeWatchedButNeverTheCopiedText)
{
    auto logger = std::make_shared<RecordingLogger>();
    DDLog::addLogger(logger);
    {
        Announcements announcements;
        TVIPasteBoardObserver observer(kFast);
        pasteboard_->memory.writeText("private 0891234");
        pasteboard_->waitForReads(3);
        pasteboard_->memory.setAvailable(false);
        pasteboard_->waitForReads(2);
        pasteboard_->memory.setAvailable(true);
        pasteboard_->waitForReads(2);
        EXPECT_EQ(announcements.texts(), (Texts{"private 0891234"}));
    }
    const std::vector<std::string> lines = logger->lines();
    DDLog::removeLogger(logger);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "TVIPasteBoardObserver: Pasteboard is not available, copied text cannot be seen",
                         "TVIPasteBoardObserver: Pasteboard is available again"}));
}

}
}
