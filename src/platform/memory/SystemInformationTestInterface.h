#pragma once

#include "platform/SystemInformation.h"

namespace tvi {

// What tests may change and look at in the in-memory system information.
class SystemInformationTestInterface {
public:
    virtual ~SystemInformationTestInterface() = default;
    virtual void setOperatingSystemVersion(OperatingSystemVersion version) = 0;
};

}
