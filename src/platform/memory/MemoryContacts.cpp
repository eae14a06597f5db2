#include "platform/memory/MemoryContacts.h"

#include "foundation/DispatchQueue.h"

#include <algorithm>

namespace tvi {

std::vector<Contact> MemoryContacts::contacts() const
{
    std::lock_guard lock(mutex_);
    return contacts_;
}

std::string MemoryContacts::source() const
{
    std::lock_guard lock(mutex_);
    return source_;
}

void MemoryContacts::setSource(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        source_ = path;
    }
    changed();
}

void MemoryContacts::addChangeObserver(const void* owner, ChangeHandler handler)
{
    if (!handler) return;
    std::lock_guard lock(observers_->mutex);
    observers_->list.emplace_back(owner, std::make_shared<ChangeHandler>(std::move(handler)));
}

void MemoryContacts::removeChangeObservers(const void* owner)
{
    std::lock_guard lock(observers_->mutex);
    std::erase_if(observers_->list, [owner](const auto& observer) { return observer.first == owner; });
}

void MemoryContacts::setContacts(std::vector<Contact> contacts)
{
    std::stable_sort(contacts.begin(), contacts.end(),
                     [](const Contact& a, const Contact& b) { return a.name < b.name; });
    {
        std::lock_guard lock(mutex_);
        contacts_ = std::move(contacts);
    }
    changed();
}

void MemoryContacts::changed()
{
    // Each handler is looked up again on the main queue: an observer removed meanwhile is not called.
    std::vector<std::weak_ptr<ChangeHandler>> handlers;
    {
        std::lock_guard lock(observers_->mutex);
        for (const auto& observer : observers_->list) handlers.push_back(observer.second);
    }
    for (auto& handler : handlers)
        DispatchQueue::main()->async([observers = observers_, handler] {
            std::shared_ptr<ChangeHandler> call = handler.lock();
            {
                std::lock_guard lock(observers->mutex);
                if (std::none_of(observers->list.begin(), observers->list.end(),
                                 [&](const auto& observer) { return observer.second == call; }))
                    return;
            }
            if (call) (*call)();
        });
}

}
