#include "environment/TVIAutomatorInstaller.h"

#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "platform/Platform.h"
#include "platform/memory/MemorySystemInformation.h"
#include "platform/memory/MemoryUrlSchemeHandlers.h"
#include "support/CollectingLogger.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tvi {
namespace {

namespace fs = std::filesystem;

void writeFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A companion item: a bundle folder with its version and a marker saying where it came from.
void makeItem(const std::string& path, const std::string& version, const std::string& marker)
{
    writeFile(path + "/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>test." + marker +
                  "</string><key>CFBundleVersion</key><string>" + version + "</string></dict></plist>");
    writeFile(path + "/Contents/marker", marker);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Each test has a HOME of its own and a bundle of its own carrying the four items at version 2.0.
class TVIAutomatorInstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedHome_ = std::getenv("HOME");
        home_ = test::makeTempDir("installer-home");
        setenv("HOME", home_.c_str(), 1);
        const std::string app = test::makeTempDir("installer-app") + "/Telvora.app";
        writeFile(app + "/Contents/Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
        const std::string resources = app + "/Contents/Resources/";
        makeItem(resources + "Call via Calvetto.action", "2.0", "bundle");
        writeFile(resources + "Call via Calvetto.action/Contents/MacOS/program", "#!/bin/sh\n");
        ::chmod((resources + "Call via Calvetto.action/Contents/MacOS/program").c_str(), 0755);
        makeItem(resources + "Call via Calvetto.workflow", "2.0", "bundle");
        makeItem(resources + "Call with Calvetto.workflow", "2.0", "bundle");
        makeItem(resources + "com.orvella.TVAbplugin.bundle", "2.0", "bundle");
        Bundle::setMainBundle(Bundle(app));
        log_ = test::CollectingLogger::install();
    }
    void TearDown() override
    {
        test::CollectingLogger::uninstall(log_);
        Bundle::setMainBundle(std::nullopt);
        setenv("HOME", savedHome_.c_str(), 1);
    }

    void runOn(OperatingSystemVersion version)
    {
        system_->setOperatingSystemVersion(version);
        TVIAutomatorInstaller().startInstall();
    }
    std::string library(const std::string& item) const { return home_ + "/Library/" + item; }
    bool installed(const std::string& item) const { return FileManager::fileExists(library(item)); }
    std::size_t mentioning(const std::string& part) const
    {
        std::size_t count = 0;
        for (const std::string& text : log_->texts()) count += text.find(part) != std::string::npos;
        return count;
    }
    bool logged(const std::string& text) const { return log_->contains("TVIAutomatorInstaller: => " + text); }

    static constexpr const char* kAction = "Automator/Call via Calvetto.action";
    static constexpr const char* kWorkflow = "Services/Call via Calvetto.workflow";
    static constexpr const char* kLegacy = "Services/Call with Calvetto.workflow";
    static constexpr const char* kPlugin = "Address Book Plug-Ins/com.orvella.TVAbplugin.bundle";

    std::string savedHome_;
    std::string home_;
    std::shared_ptr<test::CollectingLogger> log_;
    std::shared_ptr<MemorySystemInformation> system_ = std::make_shared<MemorySystemInformation>();
    Platform::Scoped<SystemInformation> systemInstalled_{system_};
    std::shared_ptr<MemoryUrlSchemeHandlers> handlers_ = std::make_shared<MemoryUrlSchemeHandlers>();
    Platform::Scoped<UrlSchemeHandlers> handlersInstalled_{handlers_};
};

TEST_F(TVIAutomatorInstallerTest, NewestSystemsGetActionWorkflowAndPlugin)
{
    for (const OperatingSystemVersion version : {OperatingSystemVersion{10, 9, 5}, OperatingSystemVersion{10, 10, 0},
                                                 OperatingSystemVersion{11, 0, 0}, OperatingSystemVersion{12, 3, 1}}) {
        SCOPED_TRACE(version.majorVersion * 100 + version.minorVersion);
        fs::remove_all(home_ + "/Library");
        log_->clear();
        runOn(version);
        EXPECT_TRUE(installed(kAction));
        EXPECT_TRUE(installed(kWorkflow));
        EXPECT_TRUE(installed(kPlugin));
        EXPECT_FALSE(installed(kLegacy));
        EXPECT_EQ(logged("Found OSX Mountain Mavericks"), version.minorVersion == 9);
        EXPECT_EQ(logged("Found OSX Yosemite and Higher"), version.majorVersion == 10 && version.minorVersion == 10);
        EXPECT_EQ(mentioning("Found OSX"), version.majorVersion == 10 ? 1u : 0u);
        EXPECT_TRUE(logged("Copied Automator action from bundle succesfully"));
        EXPECT_FALSE(logged("Installed Automator action in path: " + library(kAction)));
        // The copy keeps the program runnable and leaves nothing beside it.
        struct stat info {};
        ASSERT_EQ(::stat(library(std::string(kAction) + "/Contents/MacOS/program").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0755u);
        EXPECT_EQ(std::distance(fs::directory_iterator(library("Automator")), fs::directory_iterator()), 1);
    }
    EXPECT_EQ(handlers_->installedWorkflows().size(), 4u);
}

TEST_F(TVIAutomatorInstallerTest, OlderAndUnknownSystems)
{
    runOn({10, 7, 5});
    EXPECT_TRUE(logged("Found OSX Lion"));
    EXPECT_TRUE(installed(kLegacy));
    EXPECT_TRUE(installed(kPlugin));
    EXPECT_FALSE(installed(kAction));
    EXPECT_FALSE(installed(kWorkflow));
    EXPECT_TRUE(handlers_->installedWorkflows().empty());

    fs::remove_all(home_ + "/Library");
    runOn({10, 6, 8});
    EXPECT_TRUE(logged("Found OSX Leopard"));
    EXPECT_FALSE(fs::exists(home_ + "/Library/Services"));
    EXPECT_FALSE(fs::exists(home_ + "/Library/Address Book Plug-Ins"));

    TVIAutomatorInstaller().installForVersionComponents({"10"});
    EXPECT_TRUE(logged("Could not get a valid osversion in TVIAutomatorInstaller version count incompatible"));
    runOn({9, 0, 0});
    EXPECT_TRUE(logged("Could not get a valid osversion in TVIAutomatorInstaller version[0] incompatible"));
    EXPECT_FALSE(fs::exists(home_ + "/Library/Services"));
}

TEST_F(TVIAutomatorInstallerTest, InstalledVersionsSameLowerAndHigher)
{
    makeItem(library(kAction), "2.0", "installed");
    makeItem(library(kWorkflow), "1.9", "installed");
    makeItem(library(kPlugin), "2.0.1", "installed");
    makeItem(library("Automator/Send Selected Text To Calvetto.action"), "0.1", "pre-release");
    runOn({14, 0, 0});

    EXPECT_EQ(readFile(library(kAction) + "/Contents/marker"), "installed");
    EXPECT_TRUE(logged("Installed Automator action in path: " + library(kAction)));
    EXPECT_TRUE(logged("Automator action versions are the same no need to update"));

    EXPECT_EQ(readFile(library(kWorkflow) + "/Contents/marker"), "bundle");
    EXPECT_TRUE(log_->contains("TVIAutomatorInstaller: => NSFileManager couldn't copy the automator workflow error: "
                               "\xE2\x80\x9C" "Call via Calvetto.workflow\xE2\x80\x9D couldn\xE2\x80\x99t be copied to "
                               "\xE2\x80\x9CServices\xE2\x80\x9D because an item with the same name already exists."));
    EXPECT_TRUE(logged("Need to update the automator workflow"));
    EXPECT_TRUE(log_->contains("TVIAutomatorInstaller: Will try delete the destination directory at " + library(kWorkflow)));
    EXPECT_TRUE(logged("Deleted directory at " + library(kWorkflow) + " succesfully"));
    EXPECT_TRUE(logged("Updated Automator workflow copied succesfully"));
    EXPECT_EQ(handlers_->installedWorkflows(), std::vector<std::string>{library(kWorkflow)});

    EXPECT_EQ(readFile(library(kPlugin) + "/Contents/marker"), "installed");
    EXPECT_TRUE(logged("AddressBook plugin version installed is higher no need to update"));

    EXPECT_FALSE(installed("Automator/Send Selected Text To Calvetto.action"));
    EXPECT_TRUE(logged("deleted directory at path:" + library("Automator/Send Selected Text To Calvetto.action") +
                       " succesfully"));
}

TEST_F(TVIAutomatorInstallerTest, ItemMissingFromTheBundleIsAFailedCopy)
{
    Bundle::setMainBundle(Bundle(test::makeTempDir("empty-app") + "/Telvora.app"));
    runOn({14, 0, 0});
    EXPECT_TRUE(logged("Got automatorPathInBundle: (null)"));
    EXPECT_TRUE(log_->contains("TVIAutomatorInstaller: => NSFileManager couldn't copy the automator action error: "
                               "The item is missing from the application bundle."));
    EXPECT_FALSE(installed(kAction));
}

TEST_F(TVIAutomatorInstallerTest, DesktopVersionNumbersDoNotChooseTheCompanions)
{
    // A distribution numbered 9 (or 10.0) still gets the newest set, without a line of its own.
    class Distribution : public MemorySystemInformation {
        bool versionSelectsCompanions() const override { return false; }
    };
    auto distribution = std::make_shared<Distribution>();
    distribution->setOperatingSystemVersion({9, 0, 0});
    Platform::Scoped<SystemInformation> installed_(distribution);
    TVIAutomatorInstaller().startInstall();
    EXPECT_TRUE(installed(kAction));
    EXPECT_TRUE(installed(kWorkflow));
    EXPECT_EQ(mentioning("osversion"), 0u);
    EXPECT_EQ(mentioning("Found OSX"), 0u);
}

}
}
