#pragma once

#include <string>
#include <vector>

namespace tvi {

// What tests may change and look at in the in-memory login items.
class LoginItemsTestInterface {
public:
    virtual ~LoginItemsTestInterface() = default;
    // The entries, top first.
    virtual std::vector<std::string> items() const = 0;
    virtual void setItems(std::vector<std::string> items) = 0;
    virtual void setAvailable(bool available) = 0;
    // Makes the next changes fail (the list stays as it is) until switched off again.
    virtual void setFailAdd(bool fail) = 0;
    virtual void setFailRemove(bool fail) = 0;
};

}
