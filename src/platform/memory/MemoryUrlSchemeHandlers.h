#pragma once

#include "platform/UrlSchemeHandlers.h"

#include <mutex>
#include <string>
#include <vector>

namespace tvi {

// Link handlers without a desktop: records the workflows it was handed.
class MemoryUrlSchemeHandlers : public UrlSchemeHandlers {
public:
    void serviceWorkflowInstalled(const std::string& workflowPath, const std::string& actionPath) override;
    std::vector<std::string> installedWorkflows() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> workflows_;
};

}
