#include "platform/memory/MemoryUrlSchemeHandlers.h"

namespace tvi {

void MemoryUrlSchemeHandlers::serviceWorkflowInstalled(const std::string& workflowPath, const std::string&)
{
    std::lock_guard lock(mutex_);
    workflows_.push_back(workflowPath);
}

std::vector<std::string> MemoryUrlSchemeHandlers::installedWorkflows() const
{
    std::lock_guard lock(mutex_);
    return workflows_;
}

}
