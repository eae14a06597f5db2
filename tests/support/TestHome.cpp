#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace tvi::test {
namespace {
bool ownsHome = false;
pid_t owner = 0; // a forked child (a fast death test) inherits the exit handler, not the HOME
// Function-local so that it is usable from the test main's early constructor, before static initialisers.
std::string& homeSlot()
{
    static std::string home;
    return home;
}

std::string prefix()
{
    return (std::filesystem::temp_directory_path() / "telvora-test-home-").string();
}

[[noreturn]] void refuse(const std::string& why)
{
    std::fprintf(stderr, "\n*** test HOME: %s: refusing to run a test outside a throw-away HOME\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(3);
}

// The user's own home: whatever HOME said when the process started, and the password database's entry.
bool isRealHome(const std::string& candidate, const std::string& startHome)
{
    std::error_code ec;
    const auto same = [&](const std::string& other) {
        return !other.empty() && std::filesystem::equivalent(candidate, other, ec);
    };
    const passwd* entry = ::getpwuid(::getuid());
    return same(startHome) || same(entry && entry->pw_dir ? entry->pw_dir : "");
}

// Removes the HOME this process created, also after only listing its tests. Registered before any
// test runs, so it runs after everything that may still write into HOME at exit.
void removeHome()
{
    std::error_code ec;
    if (ownsHome && ::getpid() == owner && !std::getenv("TELVORA_KEEP_TEST_HOME"))
        std::filesystem::remove_all(homeSlot(), ec);
}
}

void enterTestHome()
{
    std::string& home = homeSlot();
    if (!home.empty()) return;
    const char* inherited = std::getenv("HOME");
    const std::string startHome = inherited ? inherited : "";
    std::error_code ec;
    // A child of a test (a death test re-running this program, a forked helper) inherits its parent's HOME.
    if (startHome.rfind(prefix(), 0) == 0 && std::filesystem::is_directory(startHome, ec)) {
        home = startHome;
    } else {
        std::string pattern = prefix() + "XXXXXX";
        if (!::mkdtemp(pattern.data())) refuse("cannot create " + pattern);
        home = pattern;
        ownsHome = true;
        owner = ::getpid();
        std::atexit(removeHome);
        ::setenv("HOME", home.c_str(), 1);
    }
    if (isRealHome(home, ownsHome ? startHome : "")) refuse(home + " is the user's own home");
}

const std::string& testHome()
{
    const std::string& home = homeSlot();
    if (home.empty()) refuse("testHome() called before the test main set HOME up");
    return home;
}

void expectHomeUnchanged()
{
    const std::string& home = homeSlot();
    const char* now = std::getenv("HOME");
    if (now && now == home) return;
    ADD_FAILURE() << "the test left HOME at " << (now ? now : "(unset)") << " instead of " << home;
    ::setenv("HOME", home.c_str(), 1);
}

std::string makeTempDir(const std::string& prefix)
{
    std::string pattern = testHome() + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create temp dir");
    return pattern;
}
}
