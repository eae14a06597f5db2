#include "platform/memory/MemoryWorkspace.h"

#include <algorithm>

namespace tvi {

bool MemoryWorkspace::isAvailable() const
{
    std::lock_guard lock(mutex_);
    return available_;
}

std::optional<std::string> MemoryWorkspace::frontmostApplicationBundleIdentifier() const
{
    std::lock_guard lock(mutex_);
    return frontmost_;
}

std::vector<RunningApplication> MemoryWorkspace::runningApplicationsWithBundleIdentifier(
    const std::string& bundleIdentifier) const
{
    std::lock_guard lock(mutex_);
    std::vector<RunningApplication> found;
    std::copy_if(running_.begin(), running_.end(), std::back_inserter(found),
                 [&](const RunningApplication& app) { return app.bundleIdentifier == bundleIdentifier; });
    return found;
}

bool MemoryWorkspace::activateApplication(const RunningApplication& application)
{
    std::lock_guard lock(mutex_);
    if (!available_ || std::find(running_.begin(), running_.end(), application) == running_.end()) return false;
    activations_.push_back(application);
    frontmost_ = application.bundleIdentifier;
    return true;
}

Workspace::ListenerToken MemoryWorkspace::addWorkspaceChangeListener(ChangeListener listener)
{
    return changeListeners_.add(std::move(listener));
}

void MemoryWorkspace::removeWorkspaceChangeListener(ListenerToken token) { changeListeners_.remove(token); }

void MemoryWorkspace::switchWorkspace() { changeListeners_.notifyAll(); }

void MemoryWorkspace::setFrontmostApplication(std::optional<std::string> bundleIdentifier)
{
    std::lock_guard lock(mutex_);
    frontmost_ = std::move(bundleIdentifier);
}

void MemoryWorkspace::setRunningApplications(std::vector<RunningApplication> applications)
{
    std::lock_guard lock(mutex_);
    running_ = std::move(applications);
}

std::vector<RunningApplication> MemoryWorkspace::activations() const
{
    std::lock_guard lock(mutex_);
    return activations_;
}

void MemoryWorkspace::setAvailable(bool available)
{
    std::lock_guard lock(mutex_);
    available_ = available;
}

}
