#include "update/SURelauncher.h"

#include "support/ChildProcess.h"
#include "support/TestHome.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tvi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Fake bundles: Contents/MacOS/Telvora is a script that notes "<name> <pid>" in the started
// file and then either takes the lock like Telvora (util-linux flock) or exits at once.
class SURelauncherTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Every Telvora the relauncher started is our child, in a session of its own.
        std::istringstream lines(readFile(started_));
        std::string name;
        pid_t pid = 0;
        while (lines >> name >> pid) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    void makeBundle(const std::string& path, const std::string& name, bool comesUp)
    {
        fs::create_directories(path + "/Contents/MacOS");
        std::ofstream(path + "/Contents/which") << name;
        const std::string program = path + "/Contents/MacOS/Telvora";
        std::ofstream(program) << "#!/bin/sh\necho \"" << name << " $$\" >> '" << started_ << "'\n"
                               << (comesUp ? "exec flock -n '" + lock_ + "' sleep 30\n" : "exit 3\n");
        ::chmod(program.c_str(), 0755);
    }

    // The quitting Telvora: holds the lock a moment, then ends (and is left unreaped, a zombie).
    SURelauncher::Options startUpdate(bool newComesUp)
    {
        makeBundle(bundle_, "old", true);
        makeBundle(folder_ + "/.Telvora.app-update-2/Telvora.app", "new", newComesUp);
        EXPECT_TRUE(oldTelvora_.start({"flock", "-n", lock_, "sleep", "0.3"}, folder_ + "/old.out"));
        std::this_thread::sleep_for(100ms);
        SURelauncher::Options options;
        options.oldPid = oldTelvora_.pid();
        options.lockFile = lock_;
        options.bundlePath = bundle_;
        options.newBundlePath = folder_ + "/.Telvora.app-update-2/Telvora.app";
        options.backupPath = folder_ + "/.Telvora.app-previous-1";
        options.logFile = folder_ + "/relaunch.log";
        options.quitTimeout = 5s;
        options.startTimeout = 5s;
        options.settleTime = 300ms;
        return options;
    }

    bool waitForStarted(const std::string& text)
    {
        for (int i = 0; i < 100; ++i) {
            if (readFile(started_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::vector<std::string> folderNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string folder_ = test::makeTempDir("apps");
    const std::string bundle_ = folder_ + "/Telvora.app";
    const std::string lock_ = folder_ + "/Telvora.lock";
    const std::string started_ = folder_ + "/started";
    test::ChildProcess oldTelvora_;
};

TEST_F(SURelauncherTest, NewBundleThatComesUpReplacesTheOldOne)
{
    const SURelauncher::Options options = startUpdate(true);
    EXPECT_EQ(SURelauncher::run(options), SURelauncher::Outcome::Started);
    EXPECT_EQ(readFile(bundle_ + "/Contents/which"), "new");
    EXPECT_FALSE(fs::exists(options.backupPath));
    EXPECT_FALSE(fs::exists(fs::path(options.newBundlePath).parent_path()));
    EXPECT_EQ(readFile(started_).substr(0, 4), "new ");
    const std::string log = readFile(options.logFile);
    EXPECT_NE(log.find("  telvora-relauncher: the started Telvora (pid "), std::string::npos) << log;
}

TEST_F(SURelauncherTest, NewBundleThatExitsAtOnceIsRolledBack)
{
    const SURelauncher::Options options = startUpdate(false);
    EXPECT_EQ(SURelauncher::run(options), SURelauncher::Outcome::RolledBack);
    EXPECT_EQ(readFile(bundle_ + "/Contents/which"), "old");
    EXPECT_TRUE(waitForStarted("old "));
    EXPECT_EQ(readFile(started_).substr(0, 4), "new ");
    // Backup back in place, failed bundle and the update's folder gone.
    const std::vector<std::string> expected{"Telvora.app", "Telvora.lock", "old.out",
                                            "relaunch.log", "started"};
    EXPECT_EQ(folderNames(), expected);
}

TEST_F(SURelauncherTest, OldTelvoraThatDoesNotQuitChangesNothing)
{
    SURelauncher::Options options = startUpdate(true);
    test::ChildProcess stuck;
    ASSERT_TRUE(stuck.start({"sleep", "30"}, folder_ + "/stuck.out"));
    options.oldPid = stuck.pid();
    options.quitTimeout = 600ms;
    EXPECT_EQ(SURelauncher::run(options), SURelauncher::Outcome::Failed);
    EXPECT_EQ(readFile(bundle_ + "/Contents/which"), "old");
    EXPECT_TRUE(fs::exists(options.newBundlePath));
    EXPECT_EQ(readFile(started_), "");
}

// Telvora blocks SIGTERM in every thread: the relauncher, and the Telvora it starts, must still be
// able to be ended.
TEST(SURelauncherSpawnTest, DetachedProgramStartsWithSignalsUnblockedAndNotIgnored)
{
    const std::string out = test::makeTempDir("spawn") + "/signals";
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigset_t previous;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &terminate, &previous), 0);
    const auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
    std::string error;
    const auto pid = SURelauncher::spawnDetached("/bin/sh", {"-c", "grep -E '^Sig(Blk|Ign)' /proc/self/status > '" + out + "'"},
                                                 &error);
    ::signal(SIGPIPE, oldPipe);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_TRUE(pid) << error;
    ASSERT_EQ(::waitpid(*pid, nullptr, 0), *pid);
    std::istringstream lines(readFile(out));
    std::string label;
    unsigned long long blocked = ~0ULL;
    unsigned long long ignored = ~0ULL;
    lines >> label >> std::hex >> blocked >> label >> ignored;
    EXPECT_EQ(blocked & (1ULL << (SIGTERM - 1)), 0u);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u);
}

TEST(SURelauncherCommandLineTest, RoundTripsAndRefusesWhatItDoesNotKnow)
{
    SURelauncher::Options options;
    options.oldPid = 4242;
    options.lockFile = "/home/u/Library/Application Support/com.orvella.Telvora/Telvora.lock";
    options.bundlePath = "/home/u/Apps/Telvora.app";
    options.newBundlePath = "/home/u/Apps/.Telvora.app-update-2/Telvora.app";
    options.backupPath = "/home/u/Apps/.Telvora.app-previous-1";
    options.arguments = {"--headless", ""};
    options.settleTime = 1500ms;
    const auto parsed = SURelauncher::parseCommandLine(SURelauncher::commandLine(options));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(SURelauncher::commandLine(*parsed), SURelauncher::commandLine(options));
    EXPECT_EQ(parsed->arguments, options.arguments);

    EXPECT_FALSE(SURelauncher::parseCommandLine({"--pid", "1", "--lock-file", "l", "--bundle", "b", "--new-bundle", "n"}));
    EXPECT_FALSE(SURelauncher::parseCommandLine({"--pid", "-1", "--lock-file", "l", "--bundle", "b"}));
    EXPECT_FALSE(SURelauncher::parseCommandLine({"--pid", "1", "--lock-file", "l", "--bundle", "b", "--what", "x"}));
    EXPECT_FALSE(SURelauncher::parseCommandLine({"--pid", "1", "--lock-file", "l", "--bundle"}));
}

}
}
