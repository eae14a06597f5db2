#include "platform/linux/TerminalEmulators.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace tvi {

namespace {

// The one list of terminal emulators, in lower case. Where a terminal's class is its
// application id, both the id and the short name are here.
constexpr std::array<std::string_view, 52> kTerminalClasses{
    "xterm", "uxterm", "lxterm", "gnome-terminal", "gnome-terminal-server", "org.gnome.terminal", "kgx",
    "org.gnome.console", "ptyxis", "org.gnome.ptyxis", "konsole", "org.kde.konsole", "yakuake", "xfce4-terminal",
    "mate-terminal", "lxterminal", "terminator", "tilix", "com.gexperts.tilix", "terminix", "alacritty", "kitty",
    "urxvt", "rxvt", "urxvt-unicode", "rxvt-unicode", "st", "st-256color", "foot", "footclient", "wezterm",
    "org.wezfurlong.wezterm", "qterminal", "sakura", "terminology", "guake", "tilda", "cool-retro-term", "eterm",
    "aterm", "mlterm", "roxterm", "termite", "deepin-terminal", "blackbox", "com.raggesilver.blackbox",
    "contour", "hyper", "tabby", "xiterm", "kterm", "ghostty",
};

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool listed(std::string_view name)
{
    if (name.empty()) return false;
    const std::string key = lowered(name);
    return std::find(kTerminalClasses.begin(), kTerminalClasses.end(), key) != kTerminalClasses.end();
}

}

bool TerminalEmulators::isTerminal(std::string_view instanceName, std::string_view className)
{
    return listed(instanceName) || listed(className);
}

}
