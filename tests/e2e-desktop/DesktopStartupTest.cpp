// The real executable as part of the desktop session: "TVIStartAtLogin" puts an autostart entry
// that starts this very Telvora into the session (and takes it out again), and a second Telvora of
// the same user, desktop or headless, exits 0 and leaves the first one serving.
#include "DesktopTelvoraFixture.h"
#include "foundation/PropertyListSerialization.h"
#include "support/ChildProcess.h"

#include <filesystem>
#include <sstream>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using peer::CalvettoPeer;

const std::string kExecutable = std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora";

class DesktopStartupTest : public DesktopTelvoraFixture {
protected:
    fs::path autostartEntry() const { return fs::path(home) / ".config/autostart/com.orvella.Telvora.desktop"; }

    // As the preferences window leaves it: the value in the user's preferences, read at start.
    void setStartAtLogin(bool on)
    {
        const std::string file = home + "/Library/Preferences/com.orvella.Telvora.plist";
        auto stored = PropertyListSerialization::propertyListWithContentsOfFile(file);
        ASSERT_TRUE(stored && stored->is<PlistDictionary>());
        PlistDictionary preferences = *stored->get<PlistDictionary>();
        preferences["TVIStartAtLogin"] = on;
        ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(preferences, file,
                                                                       PropertyListSerialization::Format::Binary));
    }

    // Stopped first: a running Telvora would write its own preferences over the change.
    void restartWithStartAtLogin(bool on)
    {
        ASSERT_EQ(telvora->terminate(), 0);
        setStartAtLogin(on);
        telvora = std::make_unique<peer::TelvoraProcess>(kExecutable, home);
        telvora->keepDisplay();
        ASSERT_TRUE(telvora->start({}, home + "/console.txt"));
        auto found = telvora->waitForPort(std::chrono::seconds(20));
        ASSERT_TRUE(found) << console();
        port = *found;
    }

    // A second Telvora of this user with the given arguments: its exit status once it has ended.
    int secondStart(const std::vector<std::string>& arguments, const std::string& output)
    {
        ChildProcess second;
        std::vector<std::string> command{kExecutable};
        command.insert(command.end(), arguments.begin(), arguments.end());
        EXPECT_TRUE(second.start(command, output, {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config"}));
        EXPECT_TRUE(waitUntil([&] { return !second.isRunning(); }, kWait)) << "the second Telvora still runs";
        return second.terminate();
    }

    std::string fileText(const fs::path& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

TEST_F(DesktopStartupTest, StartAtLoginOnAndOffCreatesAndRemovesAnEntryThatStartsThisTelvora)
{
    EXPECT_FALSE(fs::exists(autostartEntry())); // off by default

    restartWithStartAtLogin(true);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(autostartEntry()); }, kWait)) << console();
    const std::string entry = fileText(autostartEntry());
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\nName=Telvora\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nX-GNOME-Autostart-enabled=true\n"), std::string::npos) << entry;

    // The session runs the Exec= line at login: do the same, with the first Telvora gone.
    std::istringstream lines(entry);
    std::string exec;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
    ASSERT_EQ(exec, fs::canonical(kExecutable).string()); // no blank in the build folder: written as it is
    ASSERT_EQ(telvora->terminate(), 0);
    fs::remove(telvora->portFilePath());
    telvora = std::make_unique<peer::TelvoraProcess>(exec, home);
    telvora->keepDisplay();
    ASSERT_TRUE(telvora->start({}, home + "/login-start.txt"));
    auto loginPort = telvora->waitForPort(std::chrono::seconds(20));
    ASSERT_TRUE(loginPort) << fileText(home + "/login-start.txt");
    port = *loginPort;
    CalvettoPeer calvetto;
    connect(calvetto);

    restartWithStartAtLogin(false);
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(autostartEntry()); }, kWait)) << console();
    EXPECT_TRUE(fs::is_empty(autostartEntry().parent_path()));
}

TEST_F(DesktopStartupTest, ASecondStartDesktopOrHeadlessExitsAndLeavesTheFirstServing)
{
    const std::string portFile = fileText(telvora->portFilePath());
    EXPECT_EQ(secondStart({}, home + "/second-desktop.txt"), 0);
    EXPECT_EQ(secondStart({"--headless"}, home + "/second-headless.txt"), 0);
    // A desktop start finds the first one on the session bus and asks it for its preferences;
    // a headless one, without the bus, meets its lock.
    EXPECT_NE(fileText(home + "/second-desktop.txt").find("Telvora: already running; asked it to show its preferences"),
              std::string::npos)
        << fileText(home + "/second-desktop.txt");
    EXPECT_NE(fileText(home + "/second-headless.txt")
                  .find("TVISingleInstance: Telvora is already running for this user (pid " +
                        std::to_string(telvora->pid()) + "); this one exits"),
              std::string::npos)
        << fileText(home + "/second-headless.txt");

    EXPECT_EQ(fileText(telvora->portFilePath()), portFile);
    ASSERT_TRUE(telvora->isRunning());
    CalvettoPeer calvetto;
    connect(calvetto);
    EXPECT_EQ(request(calvetto, Button_Combination_MakeCall_Request, "F1"), Button_Combination_MakeCall_Accepted);
}

}
}
