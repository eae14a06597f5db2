#pragma once

#include "platform/SystemInformation.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace tvi {

class PortalColorScheme;

// The system facts of a Linux desktop. The version is VERSION_ID of os-release (/etc/os-release,
// else /usr/lib/os-release) as major.minor.patch, missing parts 0 ("12" is 12.0.0); without a
// numeric VERSION_ID (rolling releases, Debian testing) it is 0.0.0, the oldest, so that no
// version check takes an unknown system for a newer one. Dark mode is the desktop portal's
// colour scheme, else the GTK theme; a change of the portal's scheme that turns dark into light
// or back is posted as the distributed notification "AppleInterfaceThemeChangedNotification".
class LinuxSystemInformation : public SystemInformation {
public:
    static constexpr const char* kThemeChangedNotification = "AppleInterfaceThemeChangedNotification";

    LinuxSystemInformation();
    ~LinuxSystemInformation() override;

    OperatingSystemVersion operatingSystemVersion() const override;
    bool isDarkMode() const override;
    // Read from the system at each call (see LinuxHardwareFacts).
    std::string operatingSystemVersionString() const override;
    std::optional<std::int64_t> integerValue(std::string_view name) const override;
    std::optional<std::size_t> textValueSize(std::string_view name) const override;
    std::optional<std::string> textValue(std::string_view name) const override;
    bool versionSelectsCompanions() const override { return false; }

    // VERSION_ID of an os-release text; nullopt when it has none or it does not begin with a number.
    static std::optional<OperatingSystemVersion> versionFromOsRelease(std::string_view text);

private:
    bool darkFor(std::optional<int> portalScheme) const;
    void portalChanged(std::optional<int> portalScheme);

    OperatingSystemVersion version_;
    std::unique_ptr<PortalColorScheme> portal_;
    mutable std::mutex mutex_;
    mutable std::optional<bool> lastDark_; // the state last answered or posted
};

}
