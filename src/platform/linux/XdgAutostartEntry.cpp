#include "platform/linux/XdgAutostartEntry.h"

#include <algorithm>
#include <cctype>

namespace tvi {
namespace {

constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// Undoes the escapes of a string value (\s \n \t \r \\).
std::string unescapedValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += value[i]; break;
        }
    }
    return out;
}

bool isTrue(std::string_view value)
{
    value = trimmed(value);
    return value == "true" || value == "1";
}

bool isFalse(std::string_view value)
{
    value = trimmed(value);
    return value == "false" || value == "0";
}

}

std::optional<XdgAutostartEntry> XdgAutostartEntry::parse(std::string_view text)
{
    std::optional<XdgAutostartEntry> entry;
    bool inMainGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            if (inMainGroup) break; // only the first [Desktop Entry] group counts
            inMainGroup = trimmed(line) == "[Desktop Entry]";
            if (inMainGroup) entry.emplace();
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Exec") entry->exec = unescapedValue(value);
        else if (key == "Hidden") entry->hidden = isTrue(value);
        else if (key == "X-GNOME-Autostart-enabled") entry->autostartEnabled = !isFalse(value);
    }
    return entry;
}

std::optional<std::string> XdgAutostartEntry::execValueFor(const std::string& executable)
{
    if (executable.empty() || executable.find_first_of("\n\r") != std::string::npos) return std::nullopt;
    const bool quote = executable.find_first_of(kReservedInExec) != std::string::npos;
    std::string argument = quote ? "\"" : "";
    for (char c : executable) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        argument += c;
        if (c == '%') argument += '%';
    }
    if (quote) argument += '"';
    // The Exec key is a string value: its own escape of the backslash applies on top.
    std::string value;
    for (char c : argument) {
        value += c;
        if (c == '\\') value += '\\';
    }
    return value;
}

std::optional<std::string> XdgAutostartEntry::programOf(std::string_view exec)
{
    exec = trimmed(exec);
    if (exec.empty()) return std::nullopt;
    std::string program;
    std::size_t i = 0;
    if (exec.front() == '"') {
        for (i = 1; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
                ++i;
            program += exec[i];
        }
        if (i == exec.size()) return std::nullopt; // no closing quote
    } else {
        for (; i < exec.size() && !std::isspace(static_cast<unsigned char>(exec[i])); ++i) program += exec[i];
    }
    // Field codes: "%%" is a literal percent sign.
    std::string result;
    for (std::size_t k = 0; k < program.size(); ++k) {
        result += program[k];
        if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%') ++k;
    }
    return result;
}

std::optional<std::string> XdgAutostartEntry::textFor(const std::string& executable)
{
    const std::optional<std::string> exec = execValueFor(executable);
    if (!exec) return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Telvora\n"
           "Comment=Call-control shortcuts and click-to-dial for Calvetto\n"
           "Exec=" + *exec + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

}
