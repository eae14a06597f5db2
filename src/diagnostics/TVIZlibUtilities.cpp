#include "diagnostics/TVIZlibUtilities.h"

#include "diagnostics/DDLogMacros.h"

#include <zlib.h>

namespace tvi {
namespace {

const char* kVersionMismatch = "ZLib error: The version of zlib.h and the version of the library linked do not match";

const char* initErrorMessage(int code)
{
    switch (code) {
    case Z_VERSION_ERROR: return kVersionMismatch;
    case Z_MEM_ERROR: return "ZLib error: Insufficient memory";
    case Z_STREAM_ERROR: return "ZLib error: Invalid parameter passed to deflateInit2 function";
    default: return "ZLib error: Unknown error code";
    }
}

const char* deflateErrorMessage(int code)
{
    switch (code) {
    case Z_VERSION_ERROR: return kVersionMismatch;
    case Z_BUF_ERROR: return "ZLib error: Run out of output buffer for writting compressed bytes";
    case Z_MEM_ERROR: return "ZLib error: Memory could not be allocated for processing";
    case Z_DATA_ERROR: return "ZLib error: The deflate data was invalid or incomplete";
    case Z_STREAM_ERROR: return "ZLib error: The stream state was inconsisten (i.e next_in or next_out was NULL)";
    case Z_ERRNO: return "ZLib error: Error occured while reading file";
    default: return "ZLib error: Unknown error code";
    }
}

constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 8;

}

const char* TVIZlibUtilities::zlibVersion() { return ZLIB_VERSION; }

std::optional<std::vector<std::uint8_t>> TVIZlibUtilities::gzipData(const std::optional<std::vector<std::uint8_t>>& data)
{
    if (!data || data->empty()) {
        // Nothing to compress is a failure of the caller; there is no member to write for it.
        DDLogError("%@: Can't compress an empty or null NSData object");
        return std::nullopt;
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data->data());
    stream.avail_in = static_cast<uInt>(data->size());
    const int init = deflateInit2_(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                                   Z_DEFAULT_STRATEGY, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    if (init != Z_OK) {
        DDLogError("%@: %@: deflateInit2() Error: \"%@\" Message: \"%s\"", __func__, initErrorMessage(init), stream.msg);
        return std::nullopt;
    }
    // deflateBound is the worst case for these stream settings, gzip header and trailer included:
    // input that does not shrink (a short crash report, random bytes) still fits in one pass.
    std::vector<std::uint8_t> output(deflateBound(&stream, static_cast<uLong>(data->size())));
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = output.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(output.size() - stream.total_out);
        status = deflate(&stream, Z_FINISH);
    }
    if (status != Z_STREAM_END) {
        DDLogError("%@: %@: deflateInit2() Error: \"%@\" Message: \"%s\"", __func__, deflateErrorMessage(status),
                   stream.msg);
        deflateEnd(&stream);
        return std::nullopt;
    }
    deflateEnd(&stream);
    output.resize(stream.total_out);
    DDLogInfo("%@: %@: Compressed file from %lu KB to %lu KB", __func__, data->size() / 1024, output.size() / 1024);
    return output;
}

}
