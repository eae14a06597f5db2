// The real executable chooses its mode at start and says so in one Info line.
#include "TelvoraProcess.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

namespace tvi::test {
namespace {

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

}
}
