#pragma once

#include "platform/SystemInformation.h"
#include "platform/memory/SystemInformationTestInterface.h"

#include <mutex>

namespace tvi {

// System information without a system: reports a configurable version, 14.0.0 at first;
// dark mode follows the user default "AppleInterfaceStyle" being "Dark".
class MemorySystemInformation : public SystemInformation, public SystemInformationTestInterface {
public:
    static constexpr OperatingSystemVersion kDefaultVersion{14, 0, 0};

    OperatingSystemVersion operatingSystemVersion() const override;
    void setOperatingSystemVersion(OperatingSystemVersion version) override;
    bool isDarkMode() const override;

private:
    mutable std::mutex mutex_;
    OperatingSystemVersion version_ = kDefaultVersion;
};

}
