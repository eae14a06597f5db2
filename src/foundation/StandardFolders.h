#pragma once

#include "foundation/Error.h"

#include <optional>
#include <string>
#include <vector>

namespace tvi {

// The platform's standard-folder numbers and domains, mapped onto $HOME/Library
// (user domain) and /Library (local domain), except the machine-wide application support
// folder, which is /usr/lib, where the package installs the suite.
enum class SearchPathDirectory : unsigned long { Library = 5, ApplicationSupport = 14 };
enum SearchPathDomainMask : unsigned long { UserDomainMask = 1, LocalDomainMask = 2 };

class StandardFolders {
public:
    // Paths of the folder in each domain asked for (user first), home expanded.
    static std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                                      unsigned long domainMask);
    // $HOME/Library, created with mode 0700 when missing (the logs and preferences beneath
    // it hold dialled numbers). Empty when no home folder is known.
    static std::string userLibrary();
    // The three getters below make sure $HOME/Library exists (0700) but only name their own
    // folder: whoever writes into it creates it with createDirectory, so a getter never
    // leaves an empty folder behind (the log folder, for one, must not appear just by asking).
    static std::string userApplicationSupport(); // $HOME/Library/Application Support
    static std::string userLogs();               // $HOME/Library/Logs
    static std::string userPreferences();        // $HOME/Library/Preferences
    // Creates the folder and its missing parents; an existing folder (or a link to one) is
    // success. A $HOME/Library created on the way gets mode 0700, other folders 0755 less the
    // umask. On failure `error` (when given) receives the system's error: domain
    // "NSPOSIXErrorDomain", code = errno, the strerror text, userInfo "NSFilePath" = the
    // path asked for; a file in the way (the folder itself or a parent) gives EEXIST.
    // `error` is left untouched on success.
    static bool createDirectory(const std::string& path, Error* error);
    // The same for a folder of the user's private data (logs, crash and hang reports, update
    // downloads, mail attachments): the folder itself is made 0700, whatever mode its parents
    // have, and an existing one of the user's that group or others may enter is closed to them.
    static bool createPrivateDirectory(const std::string& path, Error* error);
    // The home folder: $HOME, else the password database's entry; empty when neither is known.
    static std::string homeDirectory();
};

}
