#pragma once

#include <atomic>
#include <string>

namespace tvi {

// Unpacks an update's gzip-compressed tar archive (zlib; no external program). The archive
// comes from the network and is checked before it is trusted, yet unpacking still refuses
// anything that could write outside the destination: absolute names, "..", links whose target
// leaves the destination, devices, fifos and hard links. Regular files, folders and symbolic
// links are made with the archive's permission bits (no set-id bits, owner always the caller).
// Blocking: run it off the main thread.
class SUArchiveExtractor {
public:
    struct Result {
        bool succeeded = false;
        std::string errorDescription; // why not, when failed
    };

    SUArchiveExtractor() = delete;

    // Unpacks `archive` into `destination`, which is created and must not exist yet. On failure
    // the destination is removed again. `cancelled`, when given, is polled between entries.
    static Result extractTarGz(const std::string& archive, const std::string& destination,
                               const std::atomic<bool>* cancelled = nullptr);
};

}
