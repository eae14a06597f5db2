#pragma once

// Where Telvora keeps its own files: the per-user application support folder, the shared
// folder of the product family, the per-user log folder and the folder in which the
// feedback mail collects its attachments. Callers get the full path or nothing and never
// build these paths themselves.
#include "foundation/Error.h"
#include "foundation/StandardFolders.h"

#include <optional>
#include <string>

namespace tvi {

class DirectoryLocations {
public:
    DirectoryLocations() = delete;

    // The first folder the standard-folder lookup gives for directory and domainMask, with
    // appendPathComponent (if any) appended; created with its missing parents when
    // allowCreate is set. On failure returns nothing and, when error is given, stores the
    // reason in it; on success clears *error.
    static std::optional<std::string> findOrCreateDirectory(SearchPathDirectory directory,
                                                            unsigned long domainMask,
                                                            const std::optional<std::string>& appendPathComponent,
                                                            bool allowCreate, Error* error);

    // ~/Library/Application Support/<executable name>, created when missing.
    static std::optional<std::string> applicationSupportDirectory();
    // The product family's folder for all users, where Sarnex Uninstall lies: /usr/lib/telvora,
    // the package's own folder (created when missing and allowed, which needs root).
    static constexpr const char* kProductFamilyFolder = "telvora";

    static std::optional<std::string> applicationSupportDirectoryForAllUsers();
    // ~/Library/Logs/Telvora; never created here.
    static std::optional<std::string> applicationLogDirectory();
    // ~/Library/Application Support/Telvora/Latest Submission, created (0700) when missing.
    static std::optional<std::string> applicationSupportDirectorySubmissionDirectory();
};

}
