#include "platform/memory/MemoryKeyEvents.h"

namespace tvi {

bool MemoryKeyEvents::isAvailable() const { return true; }

std::optional<KeyEvents::ProcessId> MemoryKeyEvents::frontProcess() const
{
    std::lock_guard lock(mutex_);
    return frontProcess_;
}

bool MemoryKeyEvents::postKeyDown(std::uint16_t keyCode, std::uint64_t flags)
{
    return record({PostedKeyEvent::Kind::KeyDown, keyCode, flags});
}

bool MemoryKeyEvents::postKeyUp(std::uint16_t keyCode)
{
    return record({PostedKeyEvent::Kind::KeyUp, keyCode, 0});
}

std::vector<PostedKeyEvent> MemoryKeyEvents::postedEvents() const
{
    std::lock_guard lock(mutex_);
    return posted_;
}

void MemoryKeyEvents::clearPostedEvents()
{
    std::lock_guard lock(mutex_);
    posted_.clear();
}

void MemoryKeyEvents::setFrontProcess(std::optional<ProcessId> process)
{
    std::lock_guard lock(mutex_);
    frontProcess_ = process;
}

void MemoryKeyEvents::setFailPosting(bool fail)
{
    std::lock_guard lock(mutex_);
    failPosting_ = fail;
}

bool MemoryKeyEvents::record(PostedKeyEvent event)
{
    std::lock_guard lock(mutex_);
    if (failPosting_) return false;
    posted_.push_back(event);
    return true;
}

}
