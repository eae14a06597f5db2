#include "environment/DirectoryLocations.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"

namespace tvi {
namespace {

constexpr const char* kErrorDomain = "DirectoryLocationDomain";
constexpr const char* kNoPathDescription = "No path found for directory in domain.";

Error noPathFoundError(SearchPathDirectory directory, unsigned long domainMask)
{
    Error error;
    error.domain = kErrorDomain;
    error.code = 0;
    error.localizedDescription = Bundle::mainBundle().localizedString(kNoPathDescription, {}, "Errors");
    error.userInfo["NSSearchPathDirectory"] = std::to_string(static_cast<unsigned long>(directory));
    error.userInfo["NSSearchPathDomainMask"] = std::to_string(domainMask);
    return error;
}

// Joins like a path component: exactly one "/" between the parts, however many either
// side brings ("/Telvora/Latest Submission" must not give "Support//Telvora"), and no
// trailing "/".
std::string appendingPathComponent(std::string path, const std::string& component)
{
    std::string joined = path + "/" + component;
    std::string result;
    for (char c : joined) {
        if (c == '/' && !result.empty() && result.back() == '/') continue;
        result += c;
    }
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::optional<std::string> executableName()
{
    return Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleExecutable").stringValue();
}

}

std::optional<std::string> DirectoryLocations::findOrCreateDirectory(
    SearchPathDirectory directory, unsigned long domainMask, const std::optional<std::string>& appendPathComponent,
    bool allowCreate, Error* error)
{
    std::vector<std::string> paths = StandardFolders::searchPathForDirectoriesInDomains(directory, domainMask);
    if (paths.empty()) {
        if (error) *error = noPathFoundError(directory, domainMask);
        return std::nullopt;
    }
    std::string path = paths.front();
    if (appendPathComponent) path = appendingPathComponent(path, *appendPathComponent);
    if (allowCreate) {
        Error createError;
        if (!StandardFolders::createDirectory(path, &createError)) {
            if (error) *error = createError;
            return std::nullopt;
        }
    }
    if (error) *error = Error{};
    return path;
}

std::optional<std::string> DirectoryLocations::applicationSupportDirectory()
{
    Error error;
    std::optional<std::string> result = findOrCreateDirectory(SearchPathDirectory::ApplicationSupport,
                                                              UserDomainMask, executableName(), true, &error);
    if (!result) DDLogInfo("%@: Unable to find or create application support directory:\n%@", error.description());
    return result;
}

std::optional<std::string> DirectoryLocations::applicationSupportDirectoryForAllUsers()
{
    Error error;
    std::optional<std::string> result =
        findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, LocalDomainMask, kProductFamilyFolder, true, &error);
    if (!result) DDLogInfo("%@: Unable to find or create application support directory:\n%@", error.description());
    return result;
}

std::optional<std::string> DirectoryLocations::applicationLogDirectory()
{
    Error error;
    std::optional<std::string> result =
        findOrCreateDirectory(SearchPathDirectory::Library, UserDomainMask, "Logs/Telvora", false, &error);
    if (!result) DDLogInfo("%@: Unable to find or create application log directory:\n%@", error.description());
    return result;
}

std::optional<std::string> DirectoryLocations::applicationSupportDirectorySubmissionDirectory()
{
    Error error;
    std::optional<std::string> result = findOrCreateDirectory(
        SearchPathDirectory::ApplicationSupport, UserDomainMask, "/Telvora/Latest Submission", false, &error);
    // The attachments are the logs and crash reports: the folder is the user's alone.
    if (result && !StandardFolders::createPrivateDirectory(*result, &error)) result.reset();
    if (!result)
        DDLogInfo("%@: Unable to find or create application support submission directory:\n%@", error.description());
    return result;
}

}
