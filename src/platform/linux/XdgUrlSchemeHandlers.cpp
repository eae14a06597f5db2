#include "platform/linux/XdgUrlSchemeHandlers.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/StandardFolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tvi {
namespace {

std::string dataHome()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return data;
    return StandardFolders::homeDirectory() + "/.local/share";
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Written beside and renamed into place: a reader never sees half an entry.
bool writeAtomically(const std::string& path, const std::string& text, mode_t mode)
{
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    return ::chmod(temporary.c_str(), mode) == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
}

// The command's output without its final line break; nullopt when it could not run or failed.
std::optional<std::string> commandOutput(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::array<char, 256> buffer{};
    std::string output;
    while (std::fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
    if (::pclose(pipe) != 0) return std::nullopt;
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

std::string singleQuoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}

std::string XdgUrlSchemeHandlers::withExec(std::string_view entry, const std::string& command)
{
    std::istringstream in{std::string(entry)};
    std::string line;
    std::string out;
    while (std::getline(in, line)) out += (line.rfind("Exec=", 0) == 0 ? "Exec=" + command : line) + "\n";
    return out;
}

std::vector<std::string> XdgUrlSchemeHandlers::mimeTypes(std::string_view entry)
{
    std::istringstream in{std::string(entry)};
    std::string line;
    std::vector<std::string> types;
    while (std::getline(in, line)) {
        if (line.rfind("MimeType=", 0) != 0) continue;
        std::istringstream list(line.substr(9));
        for (std::string type; std::getline(list, type, ';');)
            if (!type.empty()) types.push_back(type);
    }
    return types;
}

std::string XdgUrlSchemeHandlers::launcherText(const std::string& executable)
{
    return "#!/bin/sh\n# Written by Telvora: runs the installed \"Call via Calvetto\" action.\nexec " +
           singleQuoted(executable) + " \"$@\"\n";
}

std::optional<std::string> XdgUrlSchemeHandlers::entryPath(const std::string& workflowPath)
{
    const std::string folder = workflowPath + "/Contents/Resources";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0) found = folder + "/" + name;
    }
    ::closedir(dir);
    return found;
}

void XdgUrlSchemeHandlers::serviceWorkflowInstalled(const std::string& workflowPath, const std::string& actionPath)
{
    const auto source = entryPath(workflowPath);
    const auto executable = Bundle(actionPath).objectForInfoDictionaryKey("CFBundleExecutable").stringValue();
    if (!source || !executable) {
        DDLogWarn("%@: => No link handler in %@ or no program in %@", workflowPath, actionPath);
        return;
    }
    const std::string entryId = source->substr(source->find_last_of('/') + 1);
    const std::string launcherFolder = dataHome() + "/telvora";
    const std::string launcher = launcherFolder + "/" + entryId.substr(0, entryId.size() - 8);
    const std::string applications = dataHome() + "/applications";
    if (launcher.find_first_of(" \t\n\"'\\%") != std::string::npos)
        DDLogWarn("%@: => The launcher path %@ has characters xdg-open cannot pass on", launcher);
    const std::string entry = withExec(readAll(*source), launcher + " %u");
    // Asked before the entry is in place: xdg-mime takes any entry that declares a type for
    // its default, ours included, once it is there.
    const auto unset = typesWithoutOtherDefault(entryId, mimeTypes(entry));
    if (!StandardFolders::createDirectory(launcherFolder, nullptr) || !StandardFolders::createDirectory(applications, nullptr) ||
        !writeAtomically(launcher, launcherText(actionPath + "/Contents/MacOS/" + *executable), 0755) ||
        !writeAtomically(applications + "/" + entryId, entry, 0644)) {
        DDLogWarn("%@: => Could not write the link handler %@ to %@", entryId, applications);
        return;
    }
    DDLogInfo("%@: => Installed the link handler %@ in %@", entryId, applications);
    for (const std::string& type : unset) {
        if (commandOutput("xdg-mime default " + singleQuoted(entryId) + " " + singleQuoted(type) + " 2>/dev/null"))
            DDLogInfo("%@: => Made %@ the default handler of %@", entryId, type);
        else
            DDLogWarn("%@: => Could not make %@ the default handler of %@ (xdg-mime failed)", entryId, type);
    }
}

std::vector<std::string> XdgUrlSchemeHandlers::typesWithoutOtherDefault(const std::string& entryId,
                                                                        const std::vector<std::string>& types)
{
    std::vector<std::string> unset;
    for (const std::string& type : types) {
        const auto current = commandOutput("xdg-mime query default " + singleQuoted(type) + " 2>/dev/null");
        if (current && !current->empty() && *current != entryId)
            DDLogInfo("%@: => Kept %@ as the default handler of %@", *current, type);
        else
            unset.push_back(type);
    }
    return unset;
}

}
