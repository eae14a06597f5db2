// Arbitrary bytes as the tar stream of an update archive (gzip-compressed here, so that the
// fuzzer works on the tar layer rather than on compressed bytes).
//
// Checked besides memory safety and undefined behaviour:
// - nothing is ever made outside the destination, whatever the archive says;
// - a refused archive says why and leaves no destination behind.
#include "update/SUArchiveExtractor.h"

#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tvi;
namespace fs = std::filesystem;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "archive_fuzz: %s\n", what);
    std::abort();
}

// A private folder per process: the archive and the destination go in it, nothing else may appear.
const fs::path& sandbox()
{
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / ("archive-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(made);
        fs::create_directories(made / "inside");
        return made;
    }();
    // Registered after the path is made, so it runs before the path is destroyed.
    static const bool removedAtExit = std::atexit([] {
        std::error_code ignored;
        fs::remove_all(sandbox(), ignored);
    }) == 0;
    (void)removedAtExit;
    return folder;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path archive = sandbox() / "inside" / "update.tar.gz";
    const fs::path destination = sandbox() / "inside" / "unpacked";
    gzFile out = gzopen(archive.c_str(), "wb1");
    if (!out) fail("cannot write the archive");
    if (size) gzwrite(out, data, static_cast<unsigned>(size));
    gzclose(out);

    const SUArchiveExtractor::Result result = SUArchiveExtractor::extractTarGz(archive, destination);
    if (!result.succeeded && result.errorDescription.empty()) fail("a refused archive gave no reason");
    if (!result.succeeded && fs::exists(fs::symlink_status(destination))) fail("a refused archive left its destination");
    for (const auto& entry : fs::directory_iterator(sandbox()))
        if (entry.path().filename() != "inside") fail("something was made outside the destination");
    for (const auto& entry : fs::directory_iterator(sandbox() / "inside")) {
        const auto name = entry.path().filename();
        if (name != "update.tar.gz" && name != "unpacked") fail("something was made beside the destination");
    }
    std::error_code ignored;
    fs::remove_all(destination, ignored);
    return 0;
}
