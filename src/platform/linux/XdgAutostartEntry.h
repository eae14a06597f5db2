#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// The text of an XDG autostart entry (a desktop entry in the autostart folder) and what the
// login items need back from one: the program its Exec= line starts and whether the session
// will start it at all.
class XdgAutostartEntry {
public:
    std::string exec;           // the Exec= value as written, escapes undone
    bool hidden = false;        // Hidden=true: the entry counts as deleted
    bool autostartEnabled = true; // X-GNOME-Autostart-enabled=false switches it off

    // Reads the [Desktop Entry] group; nullopt when the text has none.
    static std::optional<XdgAutostartEntry> parse(std::string_view text);
    // The entry that starts `executable` (an absolute path) with no arguments; nullopt when the
    // path cannot be written in an Exec= line (a line break in it).
    static std::optional<std::string> textFor(const std::string& executable);

    // Exec= quoting: a path with blanks or other reserved characters goes in double quotes
    // (with " ` $ \ escaped inside), '%' is doubled, and the string-value escape of '\' is applied.
    static std::optional<std::string> execValueFor(const std::string& executable);
    // The program the command line starts (its first argument, quoting and escapes undone);
    // nullopt when the line is empty or its quoting is broken.
    static std::optional<std::string> programOf(std::string_view exec);

    // Whether the session starts it: neither hidden nor switched off.
    bool isActive() const { return !hidden && autostartEnabled; }
};

}
