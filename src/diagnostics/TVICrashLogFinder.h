#pragma once

#include "foundation/PlistValue.h"

#include <optional>
#include <string>
#include <vector>

namespace tvi {

// Finds the crash and hang reports of this executable below the user's Library folders.
class TVICrashLogFinder {
public:
    TVICrashLogFinder() = delete;

    // Full paths of the reports modified at or after `date` (all reports when absent): per
    // Library folder (last first), its crash reports, then its hang reports.
    static std::vector<std::string> findCrashLogsSince(const std::optional<PlistDate>& date);
    // Whether a file exists at `path` and was modified at or after `date` (any date when absent).
    static bool fileIsNewerThan(const std::string& path, const std::optional<PlistDate>& date);
    // Whether `relativePath` (below the crash folder) names a crash report of `executable`.
    static bool isCrashReportName(const std::string& relativePath, const std::string& executable);
};

}
