#include "platform/ContactsChangeObservers.h"

#include "foundation/DispatchQueue.h"

#include <algorithm>

namespace tvi {

void ContactsChangeObservers::add(const void* owner, Handler handler)
{
    if (!handler) return;
    std::lock_guard lock(list_->mutex);
    list_->entries.emplace_back(owner, std::make_shared<Handler>(std::move(handler)));
}

void ContactsChangeObservers::remove(const void* owner)
{
    std::lock_guard lock(list_->mutex);
    std::erase_if(list_->entries, [owner](const auto& entry) { return entry.first == owner; });
}

void ContactsChangeObservers::notify()
{
    std::vector<std::weak_ptr<Handler>> handlers;
    {
        std::lock_guard lock(list_->mutex);
        for (const auto& entry : list_->entries) handlers.push_back(entry.second);
    }
    for (auto& handler : handlers)
        DispatchQueue::main()->async([list = list_, handler] {
            std::shared_ptr<Handler> call = handler.lock();
            {
                std::lock_guard lock(list->mutex);
                if (std::none_of(list->entries.begin(), list->entries.end(),
                                 [&](const auto& entry) { return entry.second == call; }))
                    return;
            }
            if (call) (*call)();
        });
}

}
