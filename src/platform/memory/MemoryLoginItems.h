#pragma once

#include "platform/LoginItems.h"
#include "platform/memory/LoginItemsTestInterface.h"

#include <mutex>

namespace tvi {

// Login items kept in a list in memory.
class MemoryLoginItems : public LoginItems, public LoginItemsTestInterface {
public:
    bool isAvailable() const override;
    bool isLoginItem(const std::string& bundlePath) const override;
    bool addLoginItem(const std::string& bundlePath) override;
    bool removeLoginItem(const std::string& bundlePath) override;

    std::vector<std::string> items() const override;
    void setItems(std::vector<std::string> items) override;
    void setAvailable(bool available) override;
    void setFailAdd(bool fail) override;
    void setFailRemove(bool fail) override;

private:
    bool containsLocked(const std::string& bundlePath) const;

    mutable std::mutex mutex_;
    std::vector<std::string> items_;
    bool available_ = true;
    bool failAdd_ = false;
    bool failRemove_ = false;
};

}
