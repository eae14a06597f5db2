#include "foundation/StandardFolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvi {
namespace {

constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kFolderMode = 0755;

std::string joinPath(std::string base, const std::string& component)
{
    if (base.empty() || base.back() != '/') base += '/';
    return base + component;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string folderName(SearchPathDirectory directory)
{
    return directory == SearchPathDirectory::ApplicationSupport ? "Library/Application Support" : "Library";
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Error posixError(int code, const std::string& path)
{
    Error error;
    error.domain = "NSPOSIXErrorDomain";
    error.code = code;
    error.localizedDescription = std::strerror(code);
    error.userInfo["NSFilePath"] = path;
    return error;
}

// A private folder of the user's that an older version (or the user) left open to others
// is closed again; one that belongs to somebody else cannot be changed and is left as it is.
int keepPrivate(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno;
    if ((info.st_mode & 077) == 0 || info.st_uid != ::geteuid()) return 0;
    return ::chmod(path.c_str(), info.st_mode & 0700) == 0 ? 0 : errno;
}

// Makes one folder whose parent exists. Returns 0 or the errno of the failure.
int makeOneFolder(const std::string& path, bool isPrivate = false)
{
    if (isDirectory(path)) return isPrivate ? keepPrivate(path) : 0;
    std::string library = StandardFolders::homeDirectory().empty() ? std::string()
                                                                  : joinPath(StandardFolders::homeDirectory(), "Library");
    mode_t mode = isPrivate || withoutTrailingSlashes(path) == library ? kPrivateFolderMode : kFolderMode;
    if (::mkdir(path.c_str(), mode) == 0) return 0;
    int code = errno;
    // Another process may have made it meanwhile; only a folder counts.
    if (code == EEXIST && isDirectory(path)) return isPrivate ? keepPrivate(path) : 0;
    return code;
}

// Makes the folder and its missing parents; with lastIsPrivate, the folder itself is private.
bool createFolders(const std::string& path, bool lastIsPrivate, Error* error)
{
    if (path.empty()) {
        if (error) *error = posixError(ENOENT, path);
        return false;
    }
    const std::string target = withoutTrailingSlashes(path);
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('/', end + 1);
        std::string prefix = path.substr(0, end);
        if (prefix.empty() || prefix.back() == '/') continue; // "//" inside the path
        if (int code = makeOneFolder(prefix, lastIsPrivate && prefix == target); code != 0) {
            if (error) *error = posixError(code, path);
            return false;
        }
    }
    return true;
}

}

std::string StandardFolders::homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home) return withoutTrailingSlashes(home);
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return withoutTrailingSlashes(entry->pw_dir);
    return {};
}

std::vector<std::string> StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                                             unsigned long domainMask)
{
    std::vector<std::string> paths;
    if (domainMask & UserDomainMask) {
        std::string home = homeDirectory();
        if (!home.empty()) paths.push_back(joinPath(home, folderName(directory)));
    }
    // The machine-wide application folder is where the package puts the suite: /usr/lib.
    if (domainMask & LocalDomainMask)
        paths.push_back(directory == SearchPathDirectory::ApplicationSupport ? "/usr/lib" : "/" + folderName(directory));
    return paths;
}

std::string StandardFolders::userLibrary()
{
    std::string home = homeDirectory();
    if (home.empty()) return {};
    std::string library = joinPath(home, "Library");
    // Only the Library itself: a missing home folder is not ours to create.
    if (isDirectory(home)) makeOneFolder(library);
    return library;
}

std::string StandardFolders::userApplicationSupport()
{
    std::string library = userLibrary();
    return library.empty() ? library : joinPath(library, "Application Support");
}

std::string StandardFolders::userLogs()
{
    std::string library = userLibrary();
    return library.empty() ? library : joinPath(library, "Logs");
}

std::string StandardFolders::userPreferences()
{
    std::string library = userLibrary();
    return library.empty() ? library : joinPath(library, "Preferences");
}

bool StandardFolders::createDirectory(const std::string& path, Error* error)
{
    return createFolders(path, false, error);
}

bool StandardFolders::createPrivateDirectory(const std::string& path, Error* error)
{
    return createFolders(path, true, error);
}

}
