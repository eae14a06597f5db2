// The real executable chooses its mode at start and says so in one Info line; however it
// was started, it files its logs under its own name.
#include "TelvoraProcess.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kExecutable = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";
const std::string kMemoryBackends =
    "backends: HotKeys in-memory, KeyboardLayout in-memory, KeyEvents in-memory, Pasteboard in-memory, "
    "Workspace in-memory, Accessibility in-memory, Alerts in-memory, DistributedNotifications in-memory, "
    "LoginItems in-memory, SystemInformation in-memory, SessionCommands in-memory, DesktopNotifications in-memory, "
    "MailComposer in-memory, UrlSchemeHandlers in-memory, Contacts in-memory";

// Starts Telvora with DISPLAY as given (absent: unset) and returns its mode line.
std::optional<std::string> modeLine(const std::vector<std::string>& arguments, const char* display,
                                    std::vector<std::string>* allLines = nullptr)
{
    const char* previous = std::getenv("DISPLAY");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    if (display) setenv("DISPLAY", display, 1);
    else unsetenv("DISPLAY");
    peer::TelvoraProcess telvora(kExecutable, makeTempDir("mode-home"));
    const bool started = telvora.start(arguments);
    if (saved) setenv("DISPLAY", saved->c_str(), 1);
    else unsetenv("DISPLAY");
    if (!started || !telvora.waitForPort(10s)) return std::nullopt;

    std::optional<std::string> found;
    for (int i = 0; i < 100 && !found; ++i, std::this_thread::sleep_for(50ms))
        for (const std::string& line : telvora.logLines())
            if (line.starts_with("TVIAppRunner: Running in ")) found = line;
    if (allLines) *allLines = telvora.logLines();
    EXPECT_EQ(telvora.terminate(), 0);
    return found;
}

TEST(StartModeTest, WithoutADisplayTelvoraRunsHeadlessOnTheMemoryBackends)
{
    EXPECT_EQ(modeLine({}, nullptr),
              "TVIAppRunner: Running in headless mode (DISPLAY is not set); " + kMemoryBackends);
}

// Whatever the display, --headless decides, and a chosen backend is no fallback.
TEST(StartModeTest, HeadlessOptionWinsOverADisplay)
{
    const char* display = std::getenv("DISPLAY");
    std::vector<std::string> lines;
    EXPECT_EQ(modeLine({"--headless"}, display && *display ? display : ":7199", &lines),
              "TVIAppRunner: Running in headless mode (--headless given); " + kMemoryBackends);
    for (const std::string& line : lines) EXPECT_EQ(line.find("falling back"), std::string::npos) << line;
}

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::vector<std::string> logFilesIn(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".log") found.push_back(it->path().filename().string());
    return found;
}

// As the package installs it: /usr/bin/telvora, a link to the bundle's executable. The
// Library was there before and others may read it.
TEST(StartModeTest, StartedThroughALinkNamedTelvoraItLogsPrivatelyToLogsTelvora)
{
    const std::string home = makeTempDir("link-home");
    fs::create_directory(home + "/Library");
    ::chmod((home + "/Library").c_str(), 0755);
    const std::string link = makeTempDir("link-bin") + "/telvora";
    ASSERT_EQ(::symlink(kExecutable.c_str(), link.c_str()), 0);
    peer::TelvoraProcess telvora(link, home);
    ASSERT_TRUE(telvora.start({"--headless"}));
    ASSERT_TRUE(telvora.waitForPort(10s));
    const std::string logs = home + "/Library/Logs/Telvora";
    std::vector<std::string> files;
    for (int i = 0; i < 100 && files.empty(); ++i, std::this_thread::sleep_for(50ms)) files = logFilesIn(logs);
    EXPECT_EQ(telvora.terminate(), 0);

    ASSERT_EQ(files.size(), 1u) << "nothing in " << logs;
    EXPECT_EQ(files[0].rfind("Telvora ", 0), 0u) << files[0];
    EXPECT_EQ(modeOf(logs), 0700u);
    EXPECT_EQ(modeOf(logs + "/" + files[0]), 0600u);
    EXPECT_FALSE(fs::exists(home + "/Library/Logs/telvora"));
}

}
}
