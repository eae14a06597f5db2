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
    observers_.add(owner, std::move(handler));
}

void MemoryContacts::removeChangeObservers(const void* owner)
{
    observers_.remove(owner);
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
    observers_.notify();
}

}
