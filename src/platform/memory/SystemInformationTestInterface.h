#pragma once

#include "platform/SystemInformation.h"

namespace tvi {

// What tests may change and look at in the in-memory system information.
class SystemInformationTestInterface {
public:
    virtual ~SystemInformationTestInterface() = default;
    virtual void setOperatingSystemVersion(OperatingSystemVersion version) = 0;
    virtual void setOperatingSystemVersionString(std::string text) = 0;
    // nullopt removes the value: reading it then fails.
    virtual void setIntegerValue(std::string name, std::optional<std::int64_t> value) = 0;
    virtual void setTextValue(std::string name, std::optional<std::string> value) = 0;
    // The text's size can be read but the value itself cannot.
    virtual void setTextValueUnreadable(std::string name) = 0;
    // Every named value removed.
    virtual void clearValues() = 0;
};

}
