#include "platform/linux/GtkThemeSettings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tvi {
namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// gsettings prints the text in single quotes; a desktop without the schema prints an error instead.
std::string gnomeThemeName()
{
    FILE* pipe = ::popen("timeout 2 gsettings get org.gnome.desktop.interface gtk-theme 2>/dev/null", "r");
    if (!pipe) return {};
    std::array<char, 256> buffer{};
    std::string output;
    while (std::fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
    if (::pclose(pipe) != 0) return {};
    std::string_view name = trimmed(output);
    if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') name = name.substr(1, name.size() - 2);
    return std::string(name);
}

std::string settingsIniText()
{
    std::string folder;
    if (const char* configHome = std::getenv("XDG_CONFIG_HOME"); configHome && *configHome == '/') folder = configHome;
    else if (const char* home = std::getenv("HOME"); home && *home) folder = std::string(home) + "/.config";
    else return {};
    std::ifstream in(folder + "/gtk-3.0/settings.ini", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}

bool GtkThemeSettings::isDarkThemeName(std::string_view name)
{
    const std::string lower = lowerCase(trimmed(name));
    auto endsWith = [&](std::string_view suffix) {
        return lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith("-dark") || endsWith(":dark");
}

std::optional<bool> GtkThemeSettings::darkFromSettingsIni(std::string_view text)
{
    std::optional<bool> preferDark;
    std::optional<bool> darkTheme;
    bool inSettings = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            inSettings = line == "[Settings]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSettings || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string value = lowerCase(trimmed(line.substr(equals + 1)));
        if (key == "gtk-application-prefer-dark-theme") preferDark = value == "true" || value == "1";
        else if (key == "gtk-theme-name") darkTheme = isDarkThemeName(value);
    }
    if (preferDark.value_or(false) || darkTheme.value_or(false)) return true;
    if (preferDark || darkTheme) return false;
    return std::nullopt;
}

bool GtkThemeSettings::isDarkMode()
{
    // GTK_THEME overrides every setting for the programs of this session.
    if (const char* theme = std::getenv("GTK_THEME"); theme && *theme) return isDarkThemeName(theme);
    if (darkFromSettingsIni(settingsIniText()).value_or(false)) return true;
    return isDarkThemeName(gnomeThemeName());
}

}
