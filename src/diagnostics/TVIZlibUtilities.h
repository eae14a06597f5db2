#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tvi {

// In-memory gzip compression of report attachments.
class TVIZlibUtilities {
public:
    TVIZlibUtilities() = delete;

    // A complete gzip member of `data` (deflate, default level), or nullopt after one Error line
    // when `data` is absent or empty or zlib fails.
    static std::optional<std::vector<std::uint8_t>> gzipData(const std::optional<std::vector<std::uint8_t>>& data);
    // The version of the zlib this program was built with.
    static const char* zlibVersion();
};

}
