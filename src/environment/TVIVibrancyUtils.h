#pragma once

#include <optional>
#include <string>

namespace tvi {

// The menu-bar appearance: whether translucent (vibrant) views are available and whether
// the user chose the dark interface style.
class TVIVibrancyUtils {
public:
    TVIVibrancyUtils() = delete;

    static bool systemSupportsVibrancy();
    // The user default "AppleInterfaceStyle" as text; absent when not set.
    static std::optional<std::string> getAppleInterfaceStyle();
    // The desktop's own answer (the in-memory desktop: the interface style is "Dark").
    static bool isDarkMode();
};

}
