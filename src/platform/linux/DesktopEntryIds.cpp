#include "platform/linux/DesktopEntryIds.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvi {
namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// StartupWMClass of the [Desktop Entry] group; empty when absent.
std::string startupWindowClass(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            if (inMainGroup) break;
            inMainGroup = line.rfind("[Desktop Entry]", 0) == 0;
            continue;
        }
        if (!inMainGroup || line.rfind("StartupWMClass", 0) != 0) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || line.find_first_not_of(' ', 14) != equals) continue;
        std::string value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(' '));
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
        return value;
    }
    return {};
}

}

std::string DesktopEntryIds::identifierForWindowClass(const std::string& windowClass)
{
    if (windowClass.empty()) return {};
    scanIfStale();
    if (const auto found = idByStartupClass_.find(windowClass); found != idByStartupClass_.end()) return found->second;
    if (const auto found = idByLowerCaseId_.find(lowerCase(windowClass)); found != idByLowerCaseId_.end())
        return found->second;
    return windowClass;
}

std::vector<std::string> DesktopEntryIds::applicationFolders()
{
    std::vector<std::string> folders;
    std::string dataHome = environment("XDG_DATA_HOME");
    if (dataHome.empty() && !environment("HOME").empty()) dataHome = environment("HOME") + "/.local/share";
    if (!dataHome.empty()) folders.push_back(dataHome + "/applications");
    std::string dataDirs = environment("XDG_DATA_DIRS");
    if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
    std::istringstream dirs(dataDirs);
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty()) folders.push_back(dir + "/applications");
    return folders;
}

void DesktopEntryIds::scanIfStale()
{
    const auto now = std::chrono::steady_clock::now();
    if (scanned_ && now - scannedAt_ < kRescanAfter) return;
    idByStartupClass_.clear();
    idByLowerCaseId_.clear();
    for (const std::string& folder : applicationFolders()) scanFolder(folder);
    scanned_ = true;
    scannedAt_ = now;
}

void DesktopEntryIds::scanFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::recursive_directory_iterator entries(folder, error);
    if (error) return;
    for (auto entry = entries; entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
        if (error) return;
        const std::filesystem::path& path = entry->path();
        if (path.extension() != ".desktop" || !entry->is_regular_file(error)) continue;
        std::string id = std::filesystem::relative(path, folder, error).replace_extension().generic_string();
        std::replace(id.begin(), id.end(), '/', '-');
        // Earlier folders take precedence over later ones for the same id.
        if (!idByLowerCaseId_.emplace(lowerCase(id), id).second) continue;
        const std::string windowClass = startupWindowClass(path);
        if (!windowClass.empty()) idByStartupClass_.emplace(windowClass, id);
    }
}

}
