#include "platform/memory/MemoryLoginItems.h"

#include <algorithm>

namespace tvi {

bool MemoryLoginItems::containsLocked(const std::string& bundlePath) const
{
    return std::find(items_.begin(), items_.end(), bundlePath) != items_.end();
}

bool MemoryLoginItems::isAvailable() const
{
    std::lock_guard lock(mutex_);
    return available_;
}

bool MemoryLoginItems::isLoginItem(const std::string& bundlePath) const
{
    std::lock_guard lock(mutex_);
    return containsLocked(bundlePath);
}

bool MemoryLoginItems::addLoginItem(const std::string& bundlePath)
{
    std::lock_guard lock(mutex_);
    if (!available_ || failAdd_) return false;
    if (!containsLocked(bundlePath)) items_.insert(items_.begin(), bundlePath);
    return true;
}

bool MemoryLoginItems::removeLoginItem(const std::string& bundlePath)
{
    std::lock_guard lock(mutex_);
    if (!available_ || failRemove_) return false;
    items_.erase(std::remove(items_.begin(), items_.end(), bundlePath), items_.end());
    return true;
}

std::vector<std::string> MemoryLoginItems::items() const
{
    std::lock_guard lock(mutex_);
    return items_;
}

void MemoryLoginItems::setItems(std::vector<std::string> items)
{
    std::lock_guard lock(mutex_);
    items_ = std::move(items);
}

void MemoryLoginItems::setAvailable(bool available)
{
    std::lock_guard lock(mutex_);
    available_ = available;
}

void MemoryLoginItems::setFailAdd(bool fail)
{
    std::lock_guard lock(mutex_);
    failAdd_ = fail;
}

void MemoryLoginItems::setFailRemove(bool fail)
{
    std::lock_guard lock(mutex_);
    failRemove_ = fail;
}

}
