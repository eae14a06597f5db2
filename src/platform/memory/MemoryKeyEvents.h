#pragma once

#include "platform/KeyEvents.h"
#include "platform/memory/KeyEventsTestInterface.h"

#include <mutex>

namespace tvi {

// Key events that go nowhere but into a list. A front process (1) is there at first.
class MemoryKeyEvents : public KeyEvents, public KeyEventsTestInterface {
public:
    static constexpr ProcessId kDefaultFrontProcess = 1;

    bool isAvailable() const override;
    std::optional<ProcessId> frontProcess() const override;
    bool postKeyDown(std::uint16_t keyCode, std::uint64_t flags) override;
    bool postKeyUp(std::uint16_t keyCode) override;

    std::vector<PostedKeyEvent> postedEvents() const override;
    void clearPostedEvents() override;
    void setFrontProcess(std::optional<ProcessId> process) override;
    void setFailPosting(bool fail) override;

private:
    bool record(PostedKeyEvent event);

    mutable std::mutex mutex_;
    std::vector<PostedKeyEvent> posted_;
    std::optional<ProcessId> frontProcess_ = kDefaultFrontProcess;
    bool failPosting_ = false;
};

}
