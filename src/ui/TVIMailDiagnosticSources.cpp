#include "ui/TVIMailDiagnosticSources.h"

#include "app/TVIProblemReport.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVICrashManager.h"
#include "diagnostics/TVIZlibUtilities.h"

#include <memory>

namespace tvi {

std::optional<PlistData> TVIMailDiagnosticSources::gzipAttachment(const PlistData& input)
{
    return TVIZlibUtilities::gzipData(input);
}

TVIMailDiagnosticSources TVIMailDiagnosticSources::forProblemReport(TVIProblemReport& report)
{
    // The collection may outlive the controller at shutdown: it then finds no logs.
    const std::weak_ptr<TVIProblemReport> weakReport = report.weak_from_this();
    TVIMailDiagnosticSources sources;
    sources.errorLogData = [weakReport] {
        const std::shared_ptr<TVIProblemReport> strong = weakReport.lock();
        return strong ? strong->errorLogData() : std::vector<PlistData>{};
    };
    // A crash manager of its own for every collection: it reads the last submission date anew.
    sources.crashLogData = [] { return TVICrashManager().crashLogData(); };
    sources.systemProfileAsNSData = [] { return TVICrashManager().systemProfileAsNSData(); };
    return sources;
}

}
