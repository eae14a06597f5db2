// The in-memory backends against the contracts every backend of their services keeps.
#include "platform/contracts/HotKeysContract.h"
#include "platform/contracts/KeyEventsContract.h"
#include "platform/contracts/PasteboardContract.h"
#include "platform/contracts/WorkspaceContract.h"
#include "platform/memory/MemoryHotKeys.h"
#include "platform/memory/MemoryKeyEvents.h"
#include "platform/memory/MemoryPasteboard.h"
#include "platform/memory/MemoryWorkspace.h"

#include <algorithm>
#include <map>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;

// Other applications are what the test interface says they are; presses come from it too.
class MemoryHotKeysDriver : public HotKeysDriver {
public:
    std::shared_ptr<HotKeys> hotKeys() override { return hotKeys_; }
    std::vector<unsigned> lockStates() const override { return {kNoLocks}; }
    void occupy(KeyCombination combination, unsigned) override
    {
        hotKeys_->occupy(combination.keyCode, combination.modifiers, true);
    }
    bool otherProgramCanTake(KeyCombination combination) override
    {
        const auto ours = hotKeys_->registeredHotKeys();
        return std::none_of(ours.begin(), ours.end(), [&](const HotKeysTestInterface::RegisteredHotKey& hotKey) {
            return hotKey.keyCode == combination.keyCode && hotKey.modifiers == combination.modifiers;
        });
    }
    void press(KeyCombination combination, unsigned) override
    {
        hotKeys_->press(combination.keyCode, combination.modifiers);
    }
    std::chrono::milliseconds deliveryTime() const override { return 0ms; } // queued before press() returns
    std::chrono::milliseconds settleTime() const override { return 0ms; }

private:
    std::shared_ptr<MemoryHotKeys> hotKeys_ = std::make_shared<MemoryHotKeys>();
};

class MemoryPasteboardDriver : public PasteboardDriver {
public:
    std::shared_ptr<Pasteboard> pasteboard() override { return pasteboard_; }
    void writeText(const std::string& text) override { pasteboard_->writeText(text); }
    void writeNonText() override { pasteboard_->writeNonText(); }
    std::chrono::milliseconds changeTime() const override { return 0ms; }

private:
    std::shared_ptr<MemoryPasteboard> pasteboard_ = std::make_shared<MemoryPasteboard>();
};

// What was posted is what the application in front received.
class MemoryKeyEventsDriver : public KeyEventsDriver {
public:
    std::shared_ptr<KeyEvents> keyEvents() override { return keyEvents_; }
    void bringApplicationToFront(KeyEvents::ProcessId processId) override { keyEvents_->setFrontProcess(processId); }
    std::vector<ReceivedKeyPress> receivedPresses() override
    {
        std::vector<ReceivedKeyPress> presses;
        for (const PostedKeyEvent& event : keyEvents_->postedEvents())
            if (event.kind == PostedKeyEvent::Kind::KeyDown) presses.push_back({event.keyCode, event.flags});
        return presses;
    }
    bool everyKeyIsUp() override
    {
        std::map<std::uint16_t, int> down;
        for (const PostedKeyEvent& event : keyEvents_->postedEvents())
            down[event.keyCode] += event.kind == PostedKeyEvent::Kind::KeyDown ? 1 : -1;
        return std::all_of(down.begin(), down.end(), [](const auto& key) { return key.second == 0; });
    }

private:
    std::shared_ptr<MemoryKeyEvents> keyEvents_ = std::make_shared<MemoryKeyEvents>();
};

class MemoryWorkspaceDriver : public WorkspaceDriver {
public:
    std::shared_ptr<Workspace> workspace() override { return workspace_; }
    RunningApplication launch(const std::string& bundleIdentifier) override
    {
        running_.push_back({bundleIdentifier, 4000 + static_cast<std::int64_t>(running_.size())});
        workspace_->setRunningApplications(running_);
        return running_.back();
    }

private:
    std::shared_ptr<MemoryWorkspace> workspace_ = std::make_shared<MemoryWorkspace>();
    std::vector<RunningApplication> running_;
};

template <class Driver, class Base>
std::unique_ptr<Base> make()
{
    return std::make_unique<Driver>();
}

INSTANTIATE_TEST_SUITE_P(Memory, HotKeysContract, ::testing::Values(&make<MemoryHotKeysDriver, HotKeysDriver>));
INSTANTIATE_TEST_SUITE_P(Memory, PasteboardContract,
                         ::testing::Values(&make<MemoryPasteboardDriver, PasteboardDriver>));
INSTANTIATE_TEST_SUITE_P(Memory, KeyEventsContract, ::testing::Values(&make<MemoryKeyEventsDriver, KeyEventsDriver>));
INSTANTIATE_TEST_SUITE_P(Memory, WorkspaceContract, ::testing::Values(&make<MemoryWorkspaceDriver, WorkspaceDriver>));

}
}
