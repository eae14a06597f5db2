#pragma once

#include <memory>

namespace tvi {

struct OperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
    bool operator==(const OperatingSystemVersion&) const = default;
};

// Facts about the running system and the user's desktop settings, as the version checks
// and the look of the windows need them. Threads: called from any thread; no callbacks.
class SystemInformation {
public:
    static constexpr const char* serviceName = "SystemInformation";

    virtual ~SystemInformation() = default;

    virtual OperatingSystemVersion operatingSystemVersion() const = 0;
    // Whether the version numbers choose which companions are installed; on a desktop where
    // they number something else (a distribution's releases) the newest companions always fit.
    virtual bool versionSelectsCompanions() const { return true; }
    // Whether the user chose a dark interface style.
    virtual bool isDarkMode() const = 0;
};

}
