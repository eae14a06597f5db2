#include "ui/TVIMailDiagnosticSources.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVICrashManager.h"
#include "diagnostics/TVIZlibUtilities.h"

#include <memory>

namespace tvi {

std::optional<PlistData> TVIMailDiagnosticSources::gzipAttachment(const PlistData& input)
{
    return TVIZlibUtilities::gzipData(input);
}

TVIMailDiagnosticSources TVIMailDiagnosticSources::forDelegate(TVIAppDelegate& delegate)
{
    // The collection may outlive the controller at shutdown: it then finds no logs.
    const std::weak_ptr<TVIAppDelegate> weakDelegate = delegate.weak_from_this();
    TVIMailDiagnosticSources sources;
    sources.errorLogData = [weakDelegate] {
        const std::shared_ptr<TVIAppDelegate> strong = weakDelegate.lock();
        return strong ? strong->errorLogData() : std::vector<PlistData>{};
    };
    // A crash manager of its own for every collection: it reads the last submission date anew.
    sources.crashLogData = [] { return TVICrashManager().crashLogData(); };
    sources.systemProfileAsNSData = [] { return TVICrashManager().systemProfileAsNSData(); };
    return sources;
}

}
