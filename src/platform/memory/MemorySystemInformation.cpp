#include "platform/memory/MemorySystemInformation.h"

namespace tvi {

std::shared_ptr<SystemInformation> SystemInformation::makeDefaultBackend()
{
    return std::make_shared<MemorySystemInformation>();
}

OperatingSystemVersion MemorySystemInformation::operatingSystemVersion() const
{
    std::lock_guard lock(mutex_);
    return version_;
}

void MemorySystemInformation::setOperatingSystemVersion(OperatingSystemVersion version)
{
    std::lock_guard lock(mutex_);
    version_ = version;
}

}
