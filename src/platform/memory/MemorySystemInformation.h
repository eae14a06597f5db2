#pragma once

#include "platform/SystemInformation.h"
#include "platform/memory/SystemInformationTestInterface.h"

#include <map>
#include <mutex>
#include <set>

namespace tvi {

// System information without a system: reports a configurable version, 14.0.0 at first;
// dark mode follows the user default "AppleInterfaceStyle" being "Dark". The named hardware
// values start as a plausible x86 machine (kDefault...) and can be changed or removed.
class MemorySystemInformation : public SystemInformation, public SystemInformationTestInterface {
public:
    static constexpr OperatingSystemVersion kDefaultVersion{14, 0, 0};
    static constexpr const char* kDefaultVersionString = "Version 14.0 (Build 23A344)";

    MemorySystemInformation();

    OperatingSystemVersion operatingSystemVersion() const override;
    void setOperatingSystemVersion(OperatingSystemVersion version) override;
    bool isDarkMode() const override;
    std::string operatingSystemVersionString() const override;
    std::optional<std::int64_t> integerValue(std::string_view name) const override;
    std::optional<std::size_t> textValueSize(std::string_view name) const override;
    std::optional<std::string> textValue(std::string_view name) const override;

    void setOperatingSystemVersionString(std::string text) override;
    void setIntegerValue(std::string name, std::optional<std::int64_t> value) override;
    void setTextValue(std::string name, std::optional<std::string> value) override;
    void setTextValueUnreadable(std::string name) override;
    void clearValues() override;

private:
    mutable std::mutex mutex_;
    OperatingSystemVersion version_ = kDefaultVersion;
    std::string versionString_ = kDefaultVersionString;
    std::map<std::string, std::int64_t, std::less<>> integers_;
    std::map<std::string, std::string, std::less<>> texts_;
    std::set<std::string, std::less<>> unreadable_;
};

}
