#include "platform/linux/LinuxSystemInformation.h"

#include "platform/DistributedNotifications.h"
#include "platform/Platform.h"
#include "platform/linux/GtkThemeSettings.h"
#include "platform/linux/LinuxHardwareFacts.h"
#include "platform/linux/PortalColorScheme.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace tvi {
namespace {

std::optional<std::string> readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The value of an os-release assignment: quotes removed, with the shell escapes they allow undone.
std::string unquoted(std::string_view value)
{
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

// Up to three numbers separated by dots; the rest ("22.04 LTS", "3.18.4_alpha") is ignored.
std::optional<OperatingSystemVersion> parseVersion(std::string_view text)
{
    int parts[3] = {0, 0, 0};
    std::size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (part == 0) return std::nullopt;
            break;
        }
        long value = 0;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            value = std::min(value * 10 + (text[i] - '0'), 1000000L);
        parts[part] = static_cast<int>(value);
        if (i >= text.size() || text[i] != '.') break;
        ++i;
    }
    return OperatingSystemVersion{parts[0], parts[1], parts[2]};
}

}

std::optional<OperatingSystemVersion> LinuxSystemInformation::versionFromOsRelease(std::string_view text)
{
    std::optional<OperatingSystemVersion> version;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        constexpr std::string_view kKey = "VERSION_ID=";
        if (line.substr(0, kKey.size()) != kKey) continue;
        version = parseVersion(unquoted(line.substr(kKey.size()))); // the last assignment wins, as in a shell
    }
    return version;
}

LinuxSystemInformation::LinuxSystemInformation()
{
    std::optional<std::string> osRelease = readFile("/etc/os-release");
    if (!osRelease) osRelease = readFile("/usr/lib/os-release");
    version_ = osRelease ? versionFromOsRelease(*osRelease).value_or(OperatingSystemVersion{}) : OperatingSystemVersion{};
    portal_ = PortalColorScheme::connect([this](std::optional<PortalColorScheme::Scheme> scheme) {
        portalChanged(scheme ? std::optional<int>(static_cast<int>(*scheme)) : std::nullopt);
    });
}

// The portal's connection thread is stopped first: it calls back into this object.
LinuxSystemInformation::~LinuxSystemInformation() { portal_.reset(); }

OperatingSystemVersion LinuxSystemInformation::operatingSystemVersion() const { return version_; }

std::string LinuxSystemInformation::operatingSystemVersionString() const { return LinuxHardwareFacts::versionString(); }

std::optional<std::int64_t> LinuxSystemInformation::integerValue(std::string_view name) const
{
    return LinuxHardwareFacts::integerValue(name);
}

std::optional<std::size_t> LinuxSystemInformation::textValueSize(std::string_view name) const
{
    const auto text = LinuxHardwareFacts::textValue(name);
    return text ? std::optional<std::size_t>(text->size() + 1) : std::nullopt;
}

std::optional<std::string> LinuxSystemInformation::textValue(std::string_view name) const
{
    return LinuxHardwareFacts::textValue(name);
}

bool LinuxSystemInformation::darkFor(std::optional<int> portalScheme) const
{
    if (portalScheme == static_cast<int>(PortalColorScheme::Scheme::PreferDark)) return true;
    if (portalScheme == static_cast<int>(PortalColorScheme::Scheme::PreferLight)) return false;
    // No portal, no backend behind it, or no preference there: the GTK theme decides.
    return GtkThemeSettings::isDarkMode();
}

bool LinuxSystemInformation::isDarkMode() const
{
    std::optional<int> scheme;
    if (portal_) {
        if (const auto answer = portal_->scheme()) scheme = static_cast<int>(*answer);
    }
    const bool dark = darkFor(scheme);
    std::lock_guard lock(mutex_);
    lastDark_ = dark;
    return dark;
}

void LinuxSystemInformation::portalChanged(std::optional<int> portalScheme)
{
    const bool dark = darkFor(portalScheme);
    {
        std::lock_guard lock(mutex_);
        if (lastDark_ == dark) return;
        lastDark_ = dark;
    }
    Platform::get<DistributedNotifications>()->postNotification(kThemeChangedNotification, std::nullopt);
}

}
