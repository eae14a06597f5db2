#include "DesktopIntegration.h"

#include "ConsoleLog.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace sarnex {
namespace {
void log(const std::string& text) { ConsoleLog::line(text); }

std::string home()
{
    const char* value = std::getenv("HOME");
    return value ? value : "";
}

std::string xdgFolder(const char* variable, const char* fallbackBelowHome)
{
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    return home().empty() ? std::string() : home() + fallbackBelowHome;
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void removeLogged(const fs::path& path)
{
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
        log("Error:" + path.string() + " does not exist!");
        return;
    }
    if (fs::remove(path, error))
        log("Deleted " + path.string() + " succesfully");
    else
        log("Error deleting:" + path.string() + " (" + error.message() + ")");
}

// Our login item: an entry named after the bundle identifier that starts a Telvora.
bool isOurAutostartEntry(const fs::path& path)
{
    const std::string name = path.filename().string();
    if (name.rfind("com.orvella.Telvora", 0) != 0 || path.extension() != ".desktop") return false;
    std::istringstream lines(readAll(path));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Exec=", 0) == 0) return line.find("Telvora") != std::string::npos || line.find("telvora") != std::string::npos;
    return false;
}
}

void DesktopIntegration::UninstallLinkHandler()
{
    log("UninstallLinkHandler");
    const std::string data = xdgFolder("XDG_DATA_HOME", "/.local/share");
    if (data.empty()) {
        log("Error:no home folder");
        return;
    }
    removeLogged(fs::path(data) / "applications" / kHandlerEntryId);
    const fs::path launchers = fs::path(data) / "telvora";
    removeLogged(launchers / "telvora-call-via-calvetto");
    std::error_code error;
    if (fs::is_directory(launchers, error) && fs::is_empty(launchers, error)) fs::remove(launchers, error);
}

std::string DesktopIntegration::withoutHandler(const std::string& mimeapps)
{
    std::istringstream lines(mimeapps);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '[' || line.front() == '#' || equals == std::string::npos ||
            line.find(kHandlerEntryId, equals) == std::string::npos) {
            out += line + "\n";
            continue;
        }
        std::string kept;
        std::istringstream ids(line.substr(equals + 1));
        for (std::string id; std::getline(ids, id, ';');)
            if (!id.empty() && id != kHandlerEntryId) kept += id + ";";
        if (!kept.empty()) out += line.substr(0, equals + 1) + kept + "\n";
    }
    return out;
}

void DesktopIntegration::UnregisterLinkHandlerDefaults()
{
    log("UnregisterLinkHandlerDefaults");
    const std::string config = xdgFolder("XDG_CONFIG_HOME", "/.config");
    const fs::path path = fs::path(config) / "mimeapps.list";
    std::error_code error;
    if (config.empty() || !fs::exists(path, error)) {
        log("Error:" + path.string() + " does not exist!");
        return;
    }
    const std::string before = readAll(path);
    const std::string after = withoutHandler(before);
    if (after == before) {
        log("Error:" + std::string(kHandlerEntryId) + " is not registered in " + path.string());
        return;
    }
    // Written beside and renamed into place: the desktop never reads half a file.
    const fs::path temporary = path.string() + ".sarnex-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << after;
    }
    fs::rename(temporary, path, error);
    if (error)
        log("Error deleting:" + std::string(kHandlerEntryId) + " from " + path.string() + " (" + error.message() + ")");
    else
        log("Deleted " + std::string(kHandlerEntryId) + " from " + path.string() + " succesfully");
}

void DesktopIntegration::UninstallAutostartEntry()
{
    log("UninstallAutostartEntry");
    const std::string config = xdgFolder("XDG_CONFIG_HOME", "/.config");
    const fs::path folder = fs::path(config) / "autostart";
    std::error_code error;
    if (config.empty() || !fs::is_directory(folder, error)) {
        log("Error:" + folder.string() + " does not exist!");
        return;
    }
    bool found = false;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!isOurAutostartEntry(entry.path())) continue;
        found = true;
        removeLogged(entry.path());
    }
    if (!found) log("Error:" + (folder / "com.orvella.Telvora.desktop").string() + " does not exist!");
}

}
