#pragma once

#include <memory>
#include <string>

namespace tvi {

// The user session's login items: applications started at login, each named by the
// location of its bundle. Only an entry for exactly that location counts.
// Threads: called from any thread; no callbacks.
class LoginItems {
public:
    static constexpr const char* serviceName = "LoginItems";

    virtual ~LoginItems() = default;

    // Whether this session has login items that can be changed at all.
    virtual bool isAvailable() const = 0;
    virtual bool isLoginItem(const std::string& bundlePath) const = 0;
    // Adds the bundle at the top of the list; already present is success and adds no
    // second entry. False when the list could not be changed.
    virtual bool addLoginItem(const std::string& bundlePath) = 0;
    // Removes the bundle's entry; absent is success. False when the list could not be changed.
    virtual bool removeLoginItem(const std::string& bundlePath) = 0;
};

}
