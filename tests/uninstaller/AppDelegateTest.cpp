#include "AppDelegate.h"
#include "ConsoleLog.h"
#include "DesktopIntegration.h"
#include "PkexecPrivilegedRunner.h"
#include "ScriptedPrivilegedRunner.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using sarnex::AppDelegate;
using sarnex::PrivilegedOutcome;
using sarnex::PrivilegedRunner;

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "sarnex-uninstall-test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

class FakeTelvoras : public sarnex::RunningTelvoras {
public:
    std::vector<std::string> running;
    std::vector<std::size_t> terminated;
    int relaunches = 0;
    std::vector<std::string> executablePaths() override { return running; }
    void terminate(std::size_t index) override { terminated.push_back(index); }
    void relaunch() override { ++relaunches; }
};

void touch(const fs::path& path, const std::string& text = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

const PrivilegedOutcome kSucceeded{};
const PrivilegedOutcome kCanceled = PrivilegedRunner::failure("User canceled.", -128);
const PrivilegedOutcome kAlreadyGone =
    PrivilegedRunner::failure("rm: cannot remove '/usr/lib/telvora/Telvora.app': No such file or directory", 1);
const PrivilegedOutcome kPurgeFailed = PrivilegedRunner::failure("dpkg: error: dpkg frontend lock is locked", 3);

class UninstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        application();
        home_ = std::getenv("HOME");
        fs::remove_all(home_);
        fs::create_directories(home_);
        setenv("XDG_DATA_HOME", (home_ / ".local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
        sarnex::ConsoleLog::setSink([this](const std::string& line) { lines_.push_back(line); });
    }
    void TearDown() override { sarnex::ConsoleLog::setSink({}); }

    void makeUninstaller(std::vector<PrivilegedOutcome> outcomes)
    {
        auto runner = std::make_unique<sarnex::ScriptedPrivilegedRunner>(std::move(outcomes));
        runner_ = runner.get();
        auto telvoras = std::make_unique<FakeTelvoras>();
        telvoras_ = telvoras.get();
        delegate_ = std::make_unique<AppDelegate>(std::move(runner), std::move(telvoras));
        delegate_->setAlert([this](const std::string& title, const std::string& detail) {
            alerts_.push_back(title + "|" + detail);
        });
        delegate_->applicationDidFinishLaunching();
        delegate_->window->show();
    }

    // Everything Telvora leaves in a home: companions old and new, folders, desktop integration.
    void installEverything()
    {
        for (const char* item : {"Automator/Call via Calvetto.action/Contents/Info.plist",
                                 "Services/Call via Calvetto.workflow/Contents/Info.plist",
                                 "Services/Call with Calvetto.workflow/Contents/Info.plist",
                                 "Automator/Send Selected Text To Calvetto.action/Contents/Info.plist",
                                 "Services/Send Selected Text To Calvetto.workflow/Contents/Info.plist",
                                 "Services/Send Text To Calvetto.workflow/Contents/Info.plist",
                                 "Address Book Plug-Ins/com.orvella.TVAbplugin.bundle/Contents/Info.plist",
                                 "Application Support/Telvora/serverport.txt", "Logs/Telvora/Telvora.log"})
            touch(library() / item);
        touch(library() / "Services/Someone Else.workflow");
        touch(library() / "Preferences/com.orvella.Telvora.plist");
        touch(library() / "Preferences/com.orvella.Telvora.plist.corrupt-20240101-120000");
        touch(library() / "Logs/DiagnosticReports/Telvora_2024-01-01-120000_host.crash");
        touch(library() / "Logs/DiagnosticReports/Calvetto_2024-01-01-120000_host.crash");
        touch(library() / "Logs/HangReporter/Telvora/Telvora_2024-01-01-120000_host.hang");
        touch(home_ / ".local/share/applications/telvora-call-via-calvetto.desktop");
        touch(home_ / ".local/share/telvora/telvora-call-via-calvetto");
        touch(home_ / ".config/autostart/com.orvella.Telvora.desktop", "[Desktop Entry]\nExec=/usr/bin/telvora\n");
        touch(home_ / ".config/mimeapps.list", "[Default Applications]\n"
                                               "x-scheme-handler/tel=telvora-call-via-calvetto.desktop\n"
                                               "x-scheme-handler/callto=telvora-call-via-calvetto.desktop;other.desktop;\n"
                                               "text/html=firefox.desktop\n");
    }

    fs::path library() const { return home_ / "Library"; }
    bool logged(const std::string& line) const { return std::count(lines_.begin(), lines_.end(), line) > 0; }
    bool okShown() const { return !delegate_->okImageView->isHidden(); }
    bool errorShown() const { return !delegate_->errorImageView->isHidden(); }

    fs::path home_;
    std::vector<std::string> lines_;
    std::vector<std::string> alerts_;
    sarnex::ScriptedPrivilegedRunner* runner_ = nullptr;
    FakeTelvoras* telvoras_ = nullptr;
    std::unique_ptr<AppDelegate> delegate_;
};

TEST_F(UninstallerTest, StartsReadyWithItsTextsAndTitles)
{
    makeUninstaller({kSucceeded});
    EXPECT_TRUE(delegate_->okImageView->isHidden());
    EXPECT_TRUE(delegate_->errorImageView->isHidden());
    EXPECT_TRUE(delegate_->progressIndicator->isHidden());
    EXPECT_TRUE(delegate_->continueButton->isEnabled());
    EXPECT_EQ(delegate_->continueButton->text(), "Continue");
    EXPECT_EQ(delegate_->exitButton->text(), "Exit");
    EXPECT_EQ(delegate_->window->windowTitle(), "Sarnex Uninstall");
    EXPECT_EQ(delegate_->AppMainMenuItem->title(), "Sarnex Uninstall");
    EXPECT_EQ(delegate_->AboutMenuItem->text(), "About Sarnex Uninstall");
    EXPECT_EQ(delegate_->PrefMenuItem->text(), "Preferences...");
    EXPECT_EQ(delegate_->ServicesMenuItem->title(), "Services");
    EXPECT_EQ(delegate_->HideAppMenuItem->text(), "Hide Sarnex Uninstall");
    EXPECT_EQ(delegate_->HideOthersMenuItem->text(), "Hide Others");
    EXPECT_EQ(delegate_->ShowAllMenuItem->text(), "Show All");
    EXPECT_EQ(delegate_->QuitAppMenuItem->text(), "Quit Sarnex Uninstall");
    EXPECT_FALSE(delegate_->removeTextField->text().isEmpty());
    EXPECT_TRUE(lines_.size() >= 2 && lines_[0].rfind("Language: ", 0) == 0 && lines_[1].rfind("Region: ", 0) == 0);
}

TEST_F(UninstallerTest, DismissedPasswordPromptRemovesNothingAndLeavesContinueEnabled)
{
    installEverything();
    makeUninstaller({kCanceled});
    telvoras_->running = {"/usr/lib/telvora/Telvora.app/Contents/MacOS/Telvora"};
    delegate_->ContinueAction();
    EXPECT_TRUE(logged("Found 1 running app"));
    EXPECT_TRUE(logged("Terminating app at: /usr/lib/telvora/Telvora.app/Contents/MacOS/Telvora"));
    EXPECT_EQ(telvoras_->terminated, std::vector<std::size_t>{0});
    EXPECT_TRUE(logged("Key: NSAppleScriptErrorMessage, Value User canceled."));
    EXPECT_TRUE(logged("Key: NSAppleScriptErrorNumber, Value -128"));
    EXPECT_TRUE(logged("User canceled.Ignoring the error"));
    EXPECT_FALSE(logged("UninstallAutomatorAction"));
    EXPECT_TRUE(delegate_->hasUserCancelled);
    EXPECT_FALSE(delegate_->hasErrorOccured);
    EXPECT_TRUE(delegate_->continueButton->isEnabled());
    EXPECT_FALSE(okShown());
    EXPECT_FALSE(errorShown());
    EXPECT_TRUE(fs::exists(library() / "Automator/Call via Calvetto.action"));
    EXPECT_TRUE(fs::exists(library() / "Application Support/Telvora"));
    EXPECT_TRUE(fs::exists(home_ / ".config/autostart/com.orvella.Telvora.desktop"));
    EXPECT_TRUE(alerts_.empty());
}

TEST_F(UninstallerTest, SuccessRemovesEveryCompanionAndFolderAndASecondRunEndsOkToo)
{
    installEverything();
    makeUninstaller({PrivilegedOutcome{std::nullopt, "telvora"}, kAlreadyGone});
    delegate_->ContinueAction();
    EXPECT_TRUE(logged("Didn't find any running applications with bundle identifier: com.orvella.Telvora "));
    EXPECT_TRUE(logged("errorDict is nil"));
    EXPECT_TRUE(logged("returnDescriptor: telvora"));
    EXPECT_TRUE(logged("path: " + library().string()));
    EXPECT_TRUE(logged("Found Path: " + (library() / "Automator").string()));
    EXPECT_TRUE(logged("Deleted " + (library() / "Automator/Call via Calvetto.action").string() + " succesfully"));
    EXPECT_TRUE(logged("Deleted " + (library() / "Application Support/Telvora").string() + " succesfully"));
    for (const char* gone : {"Automator/Call via Calvetto.action", "Services/Call via Calvetto.workflow",
                             "Services/Call with Calvetto.workflow", "Automator/Send Selected Text To Calvetto.action",
                             "Services/Send Selected Text To Calvetto.workflow", "Services/Send Text To Calvetto.workflow",
                             "Address Book Plug-Ins/com.orvella.TVAbplugin.bundle", "Application Support/Telvora",
                             "Logs/Telvora"})
        EXPECT_FALSE(fs::exists(library() / gone)) << gone;
    // Only Telvora's own items go: the folders and a stranger's workflow stay.
    EXPECT_TRUE(fs::exists(library() / "Services/Someone Else.workflow"));
    EXPECT_TRUE(fs::exists(library() / "Logs"));
    // Its settings, crash and hang reports go too, and the folders it made that end up empty.
    for (const char* gone : {"Preferences", "Logs/DiagnosticReports/Telvora_2024-01-01-120000_host.crash",
                             "Logs/HangReporter", "Automator", "Address Book Plug-Ins", "Application Support"})
        EXPECT_FALSE(fs::exists(library() / gone)) << gone;
    EXPECT_TRUE(fs::exists(library() / "Logs/DiagnosticReports/Calvetto_2024-01-01-120000_host.crash"));
    EXPECT_TRUE(fs::exists(library() / "Services"));
    EXPECT_TRUE(delegate_->removeTextField->text().startsWith("Telvora has been removed"));
    EXPECT_FALSE(delegate_->removeTextField->text().contains("Click Continue"));
    EXPECT_FALSE(fs::exists(home_ / ".local/share/applications/telvora-call-via-calvetto.desktop"));
    EXPECT_FALSE(fs::exists(home_ / ".local/share/telvora"));
    EXPECT_FALSE(fs::exists(home_ / ".config/autostart/com.orvella.Telvora.desktop"));
    std::ifstream mimeapps(home_ / ".config/mimeapps.list");
    const std::string text((std::istreambuf_iterator<char>(mimeapps)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[Default Applications]\nx-scheme-handler/callto=other.desktop;\ntext/html=firefox.desktop\n");
    EXPECT_TRUE(okShown());
    EXPECT_FALSE(errorShown());
    EXPECT_TRUE(delegate_->progressIndicator->isHidden());
    EXPECT_FALSE(delegate_->continueButton->isEnabled());
    EXPECT_TRUE(delegate_->exitButton->isEnabled());

    lines_.clear();
    delegate_->ContinueAction();
    EXPECT_TRUE(logged("UninstallAppPlusForgetCmd path not found or already deleted.Ignoring the error"));
    // The Automator folder went with its last item.
    EXPECT_TRUE(logged("Error: " + (library() / "Automator").string() + " does not exist!"));
    EXPECT_TRUE(logged("Error:" + (library() / "Application Support/Telvora").string() + " does not exist!"));
    EXPECT_TRUE(logged("Error:" + (library() / "Logs/Telvora").string() + " does not exist!"));
    EXPECT_TRUE(okShown());
    EXPECT_TRUE(alerts_.empty());
    EXPECT_EQ(runner_->runs(), 2u);
}

TEST_F(UninstallerTest, FailedPrivilegedStepRemovesNothingRestartsTelvoraAndContinueTriesAgain)
{
    installEverything();
    makeUninstaller({kPurgeFailed, kSucceeded});
    telvoras_->running = {"/usr/lib/telvora/Telvora.app/Contents/MacOS/Telvora"};
    delegate_->ContinueAction();
    ASSERT_EQ(alerts_.size(), 1u);
    EXPECT_EQ(alerts_[0].rfind("Telvora could not be removed.|", 0), 0u) << alerts_[0];
    EXPECT_NE(alerts_[0].find("dpkg frontend lock is locked"), std::string::npos);
    EXPECT_NE(alerts_[0].find("sudo apt purge telvora"), std::string::npos);
    // Internal names are for the log only.
    EXPECT_EQ(alerts_[0].find("UninstallAppPlusForgetCmd"), std::string::npos);
    EXPECT_EQ(alerts_[0].find("NSAppleScript"), std::string::npos);
    EXPECT_TRUE(logged("UninstallAppPlusForgetCmd has returned an error"));
    EXPECT_TRUE(logged("NSAppleScriptErrorNumber:3"));
    EXPECT_FALSE(logged("UninstallAutomatorAction"));
    EXPECT_TRUE(fs::exists(library() / "Automator/Call via Calvetto.action"));
    EXPECT_TRUE(fs::exists(library() / "Application Support/Telvora"));
    EXPECT_TRUE(fs::exists(library() / "Preferences/com.orvella.Telvora.plist"));
    EXPECT_TRUE(fs::exists(home_ / ".config/autostart/com.orvella.Telvora.desktop"));
    EXPECT_EQ(telvoras_->relaunches, 1);
    EXPECT_TRUE(errorShown());
    EXPECT_TRUE(delegate_->continueButton->isEnabled());

    delegate_->ContinueAction();
    EXPECT_EQ(runner_->runs(), 2u);
    EXPECT_FALSE(fs::exists(library() / "Automator/Call via Calvetto.action"));
    EXPECT_TRUE(okShown());
    EXPECT_FALSE(errorShown());
    EXPECT_EQ(telvoras_->relaunches, 1);
}

TEST_F(UninstallerTest, StepThatCannotRunQuitsAndRemovesNothingAndNamesTheCommand)
{
    installEverything();
    makeUninstaller({PrivilegedRunner::failure("Error creating textual authentication agent: no tty", 127)});
    telvoras_->running = {"/usr/lib/telvora/Telvora.app/Contents/MacOS/Telvora"};
    runner_->setCannotRun("Nothing in this desktop session can ask for the administrator password.");
    delegate_->ContinueAction();
    EXPECT_EQ(runner_->runs(), 0u);
    EXPECT_TRUE(telvoras_->terminated.empty());
    ASSERT_EQ(alerts_.size(), 1u);
    EXPECT_NE(alerts_[0].find("can ask for the administrator password."), std::string::npos) << alerts_[0];
    EXPECT_NE(alerts_[0].find("sudo apt purge telvora"), std::string::npos);
    EXPECT_TRUE(delegate_->removeTextField->text().contains("sudo apt purge telvora"));
    EXPECT_TRUE(delegate_->continueButton->isEnabled());
    EXPECT_TRUE(fs::exists(library() / "Automator/Call via Calvetto.action"));

    // pkexec's own "cannot ask" (127), when the check could not tell: the same plain words.
    runner_->setCannotRun(std::nullopt);
    delegate_->ContinueAction();
    ASSERT_EQ(alerts_.size(), 2u);
    EXPECT_NE(alerts_[1].find("sudo apt purge telvora"), std::string::npos);
    EXPECT_EQ(alerts_[1].find("textual authentication agent"), std::string::npos) << alerts_[1];
    EXPECT_EQ(telvoras_->relaunches, 1);
    EXPECT_TRUE(fs::exists(library() / "Automator/Call via Calvetto.action"));
    EXPECT_TRUE(fs::exists(library() / "Logs/Telvora"));
    EXPECT_TRUE(delegate_->continueButton->isEnabled());
}

TEST_F(UninstallerTest, IncompleteErrorInformationIsLoggedAndIgnored)
{
    makeUninstaller({PrivilegedOutcome{std::vector<std::pair<std::string, std::string>>{}, {}},
                     PrivilegedOutcome{std::vector<std::pair<std::string, std::string>>{{"NSAppleScriptErrorNumber", "5"}}, {}}});
    delegate_->ContinueAction();
    EXPECT_TRUE(logged("errorDict is empty"));
    EXPECT_TRUE(logged("Error: " + (library() / "Automator").string() + " does not exist!"));
    delegate_->ContinueAction();
    EXPECT_TRUE(logged("Key: NSAppleScriptErrorNumber, Value 5"));
    EXPECT_TRUE(logged("errorDict NSAppleScriptErrorMessage doesn't exist"));
    EXPECT_TRUE(okShown());
}

TEST(PkexecOutcomeTest, StatusesMapOntoTheScriptOutcomes)
{
    EXPECT_FALSE(sarnex::PkexecPrivilegedRunner::outcomeOf(0, "telvora\n", "").errorInfo);
    EXPECT_EQ(sarnex::PkexecPrivilegedRunner::outcomeOf(0, "telvora\n", "").returned, "telvora");
    EXPECT_EQ(*sarnex::PkexecPrivilegedRunner::outcomeOf(126, "", "").errorInfo, *kCanceled.errorInfo);
    const auto gone = sarnex::PkexecPrivilegedRunner::outcomeOf(
        1, "", "rm: cannot remove '/usr/lib/telvora/Telvora.app': No such file or directory\n");
    EXPECT_EQ(*gone.errorInfo, *kAlreadyGone.errorInfo);
    const auto refused = sarnex::PkexecPrivilegedRunner::outcomeOf(127, "", "Error executing command as another user: Not authorized\n");
    EXPECT_EQ(*refused.errorInfo, *PrivilegedRunner::failure("Error executing command as another user: Not authorized", 127).errorInfo);
}

}

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
