#pragma once

#include <string>
#include <vector>

namespace tvi {

// What tests may change and look at in the in-memory accessibility.
class AccessibilityTestInterface {
public:
    virtual ~AccessibilityTestInterface() = default;
    virtual void setTrusted(bool trusted) = 0;
    // False plays an older system that only has the global query and the script.
    virtual void setHasTrustQueryWithOptions(bool available) = 0;
    // How often the system's own prompt was shown.
    virtual int promptCount() const = 0;
    // The scripts run so far, oldest first.
    virtual std::vector<std::string> scripts() const = 0;
};

}
