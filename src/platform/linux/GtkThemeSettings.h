#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// Dark or light from the GTK theme, for desktops whose portal does not say: $GTK_THEME, the
// GNOME setting org.gnome.desktop.interface gtk-theme, and gtk-3.0/settings.ini in the user's
// configuration folder. A dark-named theme ("Adwaita-dark", "Adwaita:dark") or
// gtk-application-prefer-dark-theme=true means dark.
class GtkThemeSettings {
public:
    GtkThemeSettings() = delete;

    static bool isDarkMode();

    static bool isDarkThemeName(std::string_view name);
    // Dark or light as a settings.ini says it; nullopt when it names neither a theme nor the preference.
    static std::optional<bool> darkFromSettingsIni(std::string_view text);
};

}
