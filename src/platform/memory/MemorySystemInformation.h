#pragma once

#include "platform/SystemInformation.h"
#include "platform/memory/SystemInformationTestInterface.h"

#include <mutex>

namespace tvi {

// System information without a system: reports a configurable version, 14.0.0 at first.
class MemorySystemInformation : public SystemInformation, public SystemInformationTestInterface {
public:
    static constexpr OperatingSystemVersion kDefaultVersion{14, 0, 0};

    OperatingSystemVersion operatingSystemVersion() const override;
    void setOperatingSystemVersion(OperatingSystemVersion version) override;

private:
    mutable std::mutex mutex_;
    OperatingSystemVersion version_ = kDefaultVersion;
};

}
