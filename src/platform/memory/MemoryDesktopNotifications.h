#pragma once

#include "platform/DesktopNotifications.h"

#include <mutex>
#include <utility>
#include <vector>

namespace tvi {

// Desktop notifications that are only recorded, for headless runs and tests.
class MemoryDesktopNotifications : public DesktopNotifications {
public:
    void show(const std::string& title, const std::string& body) override;

    // What was shown, oldest first: title and body.
    std::vector<std::pair<std::string, std::string>> shown() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> shown_;
};

}
