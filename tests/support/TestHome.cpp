#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tvi::test {
namespace {
bool ownsHome = true;

std::string createHome()
{
    const std::string prefix = (std::filesystem::temp_directory_path() / "telvora-test-home-").string();
    // A child of a test (a death test re-running this program) inherits its parent's HOME.
    const char* inherited = std::getenv("HOME");
    if (inherited && std::string(inherited).rfind(prefix, 0) == 0) {
        ownsHome = false;
        return inherited;
    }
    std::string pattern = prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create test HOME");
    setenv("HOME", pattern.c_str(), 1);
    return pattern;
}

// Removes the throw-away HOME when the program ends, also after only listing its tests.
// Registered first, so it runs after everything that may still write into HOME at exit.
void removeHome()
{
    std::error_code ec;
    if (ownsHome && !std::getenv("TELVORA_KEEP_TEST_HOME")) std::filesystem::remove_all(testHome(), ec);
}

[[maybe_unused]] const bool registered = [] {
    testHome();
    std::atexit(removeHome);
    return true;
}();
}

const std::string& testHome()
{
    static const std::string home = createHome();
    return home;
}

std::string makeTempDir(const std::string& prefix)
{
    std::string pattern = testHome() + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create temp dir");
    return pattern;
}
}
