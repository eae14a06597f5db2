#include "ui/TVIMailDiagnosticSources.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVICrashManager.h"

#include <zlib.h>

#include <memory>

namespace tvi {

// TODO(merge): the gzip utility's gzipData. Until then zlib directly; the output buffer is
// sized by deflateBound, so every non-empty input fits.
std::optional<PlistData> TVIMailDiagnosticSources::gzipAttachment(const PlistData& input)
{
    if (input.empty()) {
        DDLogError("%@: Can't compress an empty or null NSData object");
        return std::nullopt;
    }
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
    PlistData output(deflateBound(&stream, static_cast<uLong>(input.size())));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    const int result = deflate(&stream, Z_FINISH);
    const uLong written = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    output.resize(written);
    return output;
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
