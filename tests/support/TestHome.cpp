#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tvi::test {
namespace {
std::string createHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "telvora-test-home-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create test HOME");
    setenv("HOME", pattern.c_str(), 1);
    return pattern;
}

// Removes the throw-away HOME when the test program ends.
class HomeEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::error_code ec;
        if (!std::getenv("TELVORA_KEEP_TEST_HOME")) std::filesystem::remove_all(testHome(), ec);
    }
};

[[maybe_unused]] const bool registered = [] {
    testHome();
    ::testing::AddGlobalTestEnvironment(new HomeEnvironment);
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
