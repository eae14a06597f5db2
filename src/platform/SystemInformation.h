#pragma once

#include <memory>

namespace tvi {

struct OperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
    bool operator==(const OperatingSystemVersion&) const = default;
};

// Facts about the running system, as the version checks need them.
class SystemInformation {
public:
    virtual ~SystemInformation() = default;

    virtual OperatingSystemVersion operatingSystemVersion() const = 0;

    // The in-memory backend, used until a desktop backend is installed (see Platform).
    static std::shared_ptr<SystemInformation> makeDefaultBackend();
};

}
