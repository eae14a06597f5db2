#include "diagnostics/TVICrashLogFinder.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/StandardFolders.h"
#include "foundation/TVIApplication.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tvi {
namespace {

namespace fs = std::filesystem;

bool isFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// Every non-folder entry below `folder`, as paths relative to it, in the walk's order.
std::vector<std::string> filesBelow(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        found.push_back(fs::relative(it->path(), folder, typeError).string());
    }
    return found;
}

bool hasExtension(const std::string& path, const char* extension)
{
    return fs::path(path).extension() == std::string(".") + extension;
}

std::string joined(const std::string& folder, const std::string& relative)
{
    return folder + (folder.empty() || folder.back() == '/' ? "" : "/") + relative;
}

}

bool TVICrashLogFinder::isCrashReportName(const std::string& relativePath, const std::string& executable)
{
    if (!hasExtension(relativePath, "crash")) return false;
    const std::string stem = relativePath.substr(0, relativePath.size() - std::strlen(".crash"));
    const std::string prefix = executable + "_";
    return stem.compare(0, prefix.size(), prefix) == 0;
}

bool TVICrashLogFinder::fileIsNewerThan(const std::string& path, const std::optional<PlistDate>& date)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        if (!date) return true;
        DDLogError("%@: Error while fetching file attributes: %@", std::string(std::strerror(errno)));
        return false;
    }
    if (!date) return true;
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
    // A report modified exactly at the date counts as newer.
    return *date <= modified;
}

std::vector<std::string> TVICrashLogFinder::findCrashLogsSince(const std::optional<PlistDate>& date)
{
    const auto libraries = StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::Library,
                                                                              UserDomainMask);
    DDLogInfo("%@: Number of library Directories %lu", static_cast<unsigned long>(libraries.size()));
    const std::string executable = TVIApplication::nameForFiles();
    std::vector<std::string> reports;
    for (auto library = libraries.rbegin(); library != libraries.rend(); ++library) {
        std::string crashFolder = joined(*library, "Logs/DiagnosticReports/");
        DDLogInfo("%@: Searching for crash files at %@", crashFolder);
        if (!isFolder(crashFolder)) crashFolder = joined(*library, "Logs/CrashReporter/");
        if (isFolder(crashFolder)) {
            for (const std::string& relative : filesBelow(crashFolder)) {
                if (!isCrashReportName(relative, executable)) continue;
                const std::string path = joined(crashFolder, relative);
                if (!fileIsNewerThan(path, date)) continue;
                DDLogInfo("%@: Found crash file %@", path);
                reports.push_back(path);
            }
        }
        const std::string hangFolder = joined(*library, "Logs/HangReporter/" + executable + "/");
        DDLogInfo("%@: Searching for hang files at %@", hangFolder);
        if (!isFolder(hangFolder)) continue;
        for (const std::string& relative : filesBelow(hangFolder)) {
            const std::string path = joined(hangFolder, relative);
            if (hasExtension(relative, "hang") && fileIsNewerThan(path, date)) reports.push_back(path);
        }
    }
    return reports;
}

}
