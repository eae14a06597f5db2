#pragma once

#include "foundation/Error.h"

#include <string>

namespace tvi {

// Copying and removing whole items (a file, a link, or a folder with everything in it), with
// the platform's errors.
class FileManager {
public:
    // Error domain and codes of the platform's file errors.
    static constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";
    static constexpr long kFileNoSuchFileError = 4;
    static constexpr long kFileReadNoSuchFileError = 260;
    static constexpr long kFileWriteFileExistsError = 516;

    FileManager() = delete;

    // Copies `source` to `destination`, recursively, keeping permission bits (execute bits
    // included) and symbolic links as links. The copy is made beside the destination under a
    // hidden name and renamed into place, so the destination never names a half-copied item.
    // An existing destination is left alone and gives kFileWriteFileExistsError; a missing
    // source gives kFileReadNoSuchFileError; any other failure the system's error
    // (NSPOSIXErrorDomain, errno).
    static bool copyItem(const std::string& source, const std::string& destination, Error* error);
    // Removes the item with everything in it; a missing item gives kFileNoSuchFileError.
    static bool removeItem(const std::string& path, Error* error);
    static bool fileExists(const std::string& path);
};

}
