#pragma once

#include "foundation/PlistValue.h"

#include <functional>
#include <optional>
#include <vector>

namespace tvi {

class TVIProblemReport;

// Where the problem report's attachments come from. Each source is called on the
// "Compress Queue", never on the main thread.
struct TVIMailDiagnosticSources {
    // The newest log files, newest first.
    std::function<std::vector<PlistData>()> errorLogData;
    // The crash and hang reports since the last report was sent (a new crash manager each time).
    std::function<std::vector<PlistData>()> crashLogData;
    // The serialised system profile, or nothing.
    std::function<std::optional<PlistData>()> systemProfileAsNSData;
    // One gzip member of the bytes, or nothing when they could not be compressed.
    std::function<std::optional<PlistData>(const PlistData&)> gzipData = &gzipAttachment;

    // The compression the program uses.
    static std::optional<PlistData> gzipAttachment(const PlistData& input);

    // The program's own sources: the problem report's log files, a crash manager, the system
    // profile and the gzip utility.
    static TVIMailDiagnosticSources forProblemReport(TVIProblemReport& report);
};

}
