#include "platform/memory/MemorySystemInformation.h"

#include "foundation/UserDefaults.h"

namespace tvi {

OperatingSystemVersion MemorySystemInformation::operatingSystemVersion() const
{
    std::lock_guard lock(mutex_);
    return version_;
}

bool MemorySystemInformation::isDarkMode() const
{
    return UserDefaults::standard().stringForKey("AppleInterfaceStyle") == std::optional<std::string>("Dark");
}

void MemorySystemInformation::setOperatingSystemVersion(OperatingSystemVersion version)
{
    std::lock_guard lock(mutex_);
    version_ = version;
}

}
