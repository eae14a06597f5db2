#pragma once

#include "foundation/Error.h"

#include <optional>
#include <string>
#include <vector>

namespace tvi {

// The platform's standard-folder numbers and domains, mapped onto $HOME/Library
// (user domain) and /Library (local domain).
enum class SearchPathDirectory : unsigned long { Library = 5, ApplicationSupport = 14 };
enum SearchPathDomainMask : unsigned long { UserDomainMask = 1, LocalDomainMask = 2 };

class StandardFolders {
public:
    // Paths of the folder in each domain asked for (user first), home expanded.
    static std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                                      unsigned long domainMask);
    // $HOME/Library, created with mode 0700 when missing.
    static std::string userLibrary();
    static std::string userApplicationSupport(); // $HOME/Library/Application Support
    static std::string userLogs();               // $HOME/Library/Logs
    static std::string userPreferences();        // $HOME/Library/Preferences
    // Creates the folder and its missing parents; an existing folder is success.
    static bool createDirectory(const std::string& path, Error* error);
};

}
