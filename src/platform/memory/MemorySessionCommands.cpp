#include "platform/memory/MemorySessionCommands.h"

#include "foundation/DispatchQueue.h"

namespace tvi {

bool MemorySessionCommands::claim()
{
    std::lock_guard lock(mutex_);
    claimed_ = true;
    return true;
}

void MemorySessionCommands::setHandler(const std::string& command, Handler handler)
{
    std::lock_guard lock(mutex_);
    handlers_[command] = std::move(handler);
}

bool MemorySessionCommands::send(const std::string& command)
{
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        if (!claimed_) return false;
        auto found = handlers_.find(command);
        if (found == handlers_.end() || !found->second) return false;
        handler = found->second;
    }
    DispatchQueue::main()->async(std::move(handler));
    return true;
}

bool MemorySessionCommands::claimed() const
{
    std::lock_guard lock(mutex_);
    return claimed_;
}

}
