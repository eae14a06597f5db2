#include "platform/linux/XdgLoginItems.h"

#include "foundation/Bundle.h"
#include "platform/linux/XdgAutostartEntry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace tvi {
namespace {

constexpr const char* kEntryName = "com.orvella.Telvora";

std::optional<std::string> readSmallFile(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > 64 * 1024 || ec) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::optional<std::string> programOfFile(const fs::path& path, bool activeOnly)
{
    const auto text = readSmallFile(path);
    const auto entry = text ? XdgAutostartEntry::parse(*text) : std::nullopt;
    if (!entry || (activeOnly && !entry->isActive())) return std::nullopt;
    return XdgAutostartEntry::programOf(entry->exec);
}

// Written beside the target and renamed over it, so the session never reads half an entry.
bool writeAtomically(const fs::path& path, const std::string& text)
{
    const fs::path temporary = path.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) fs::remove(temporary, ec);
    return !ec;
}

}

XdgLoginItems::XdgLoginItems(fs::path autostartFolder, std::string executable)
    : folder_(std::move(autostartFolder)), executable_(std::move(executable))
{
}

fs::path XdgLoginItems::defaultAutostartFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && *configHome == '/') return fs::path(configHome) / "autostart";
    const char* home = std::getenv("HOME");
    if (!home || *home != '/') return {};
    return fs::path(home) / ".config" / "autostart";
}

std::shared_ptr<XdgLoginItems> XdgLoginItems::create()
{
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    return std::make_shared<XdgLoginItems>(defaultAutostartFolder(), ec ? std::string() : executable.string());
}

bool XdgLoginItems::isAvailable() const { return !folder_.empty() && !executable_.empty(); }

std::string XdgLoginItems::executableFor(const std::string& bundlePath) const
{
    if (Bundle::bundlePathForExecutable(executable_) == bundlePath) return executable_;
    return (fs::path(bundlePath) / "Contents" / "MacOS" / fs::path(executable_).filename()).string();
}

std::vector<fs::path> XdgLoginItems::entriesStarting(const std::string& executable, bool activeOnly) const
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".desktop") continue;
        if (programOfFile(it->path(), activeOnly) == executable) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

fs::path XdgLoginItems::freeEntryPath(const std::string& executable) const
{
    for (int n = 1;; ++n) {
        const fs::path candidate = folder_ / (std::string(kEntryName) + (n == 1 ? "" : "-" + std::to_string(n)) + ".desktop");
        std::error_code ec;
        if (!fs::exists(candidate, ec)) return candidate;
        // Ours, though switched off or hidden: written over, so it starts again.
        if (programOfFile(candidate, false) == executable) return candidate;
    }
}

bool XdgLoginItems::isLoginItem(const std::string& bundlePath) const
{
    if (!isAvailable()) return false;
    std::lock_guard lock(mutex_);
    return !entriesStarting(executableFor(bundlePath), true).empty();
}

bool XdgLoginItems::addLoginItem(const std::string& bundlePath)
{
    if (!isAvailable()) return false;
    std::lock_guard lock(mutex_);
    const std::string executable = executableFor(bundlePath);
    if (!entriesStarting(executable, true).empty()) return true;
    const auto text = XdgAutostartEntry::textFor(executable);
    if (!text) return false;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return false;
    return writeAtomically(freeEntryPath(executable), *text);
}

bool XdgLoginItems::removeLoginItem(const std::string& bundlePath)
{
    if (!isAvailable()) return false;
    std::lock_guard lock(mutex_);
    bool removed = true;
    // Switched-off entries of ours go too: turning the item off leaves no file behind.
    for (const fs::path& entry : entriesStarting(executableFor(bundlePath), false)) {
        std::error_code ec;
        removed = fs::remove(entry, ec) && removed;
    }
    return removed;
}

}
