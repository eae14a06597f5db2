// The whole start-up sequence in process, on the in-memory platform: what a start makes
// of the login items and of a Defaults.plist that is missing or unreadable.
#include "app/TVIAppDelegate.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/LoginItems.h"
#include "platform/Platform.h"
#include "platform/memory/LoginItemsTestInterface.h"
#include "support/CollectingLogger.h"
#include "support/MainLoopThread.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;

LoginItemsTestInterface& loginItems() { return dynamic_cast<LoginItemsTestInterface&>(*Platform::get<LoginItems>()); }

class StartUpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loop = new MainLoopThread; }
    static void TearDownTestSuite()
    {
        delete loop;
        loop = nullptr;
    }
    void SetUp() override { logger = CollectingLogger::install(); }
    void TearDown() override
    {
        Bundle::setMainBundle(std::nullopt);
        CollectingLogger::uninstall(logger);
    }

    // Launches a controller from the bundle at `bundlePath`, lets `check` look, then quits it.
    void launch(const std::string& bundlePath, const std::function<void()>& check)
    {
        Bundle::setMainBundle(Bundle(bundlePath));
        auto controller = std::make_shared<TVIAppDelegate>();
        MainLoopThread::runOnMain([&] { controller->applicationDidFinishLaunching(); });
        check();
        MainLoopThread::runOnMain([&] { controller->applicationWillTerminate(); });
        MainLoopThread::drain();
        DDLog::removeLogger(controller->fileLogger());
    }

    // A copy of the application bundle whose Defaults.plist is gone or holds `plistText`.
    static std::string bundleWithDefaults(const std::optional<std::string>& plistText)
    {
        const fs::path bundle = fs::path(makeTempDir("bundle")) / "Telvora.app";
        fs::copy(TELVORA_APP_DIR, bundle, fs::copy_options::recursive);
        const fs::path plist = bundle / "Contents" / "Resources" / "Defaults.plist";
        fs::remove(plist);
        if (plistText) std::ofstream(plist) << *plistText;
        return bundle.string();
    }

    static inline MainLoopThread* loop = nullptr;
    std::shared_ptr<CollectingLogger> logger;
};

// Runs first: no defaults have been registered in this process yet.
TEST_F(StartUpTest, WithoutReadableDefaultsThereIsNoFirstRunAndEveryShortcutIsOff)
{
    for (const std::optional<std::string>& plist : {std::optional<std::string>(), std::optional<std::string>("<plist><dict")}) {
        SCOPED_TRACE(plist ? "unreadable" : "missing");
        logger->clear();
        launch(bundleWithDefaults(plist), [&] {
            EXPECT_TRUE(logger->contains("TVIAppDelegate: => initPreferences -> appVersion:1.0.0"));
            EXPECT_FALSE(logger->contains("TVIAppDelegate: => initPreferences -> First Run"));
            UserDefaults& defaults = UserDefaults::standard();
            EXPECT_FALSE(defaults.boolForKey("TVIFirstRun"));
            for (const char* key : {"TVIMakeCallShortcutEnabled", "TVICancelActionShortcutEnabled",
                                    "TVIAnswerCallShortcutEnabled", "TVIClearConnectionShortcutEnabled",
                                    "TVIDeflectCallShortcutEnabled", "TVIHoldCallShortcutEnabled",
                                    "TVIRetrieveCallShortcutEnabled", "TVITransferCallShortcutEnabled"})
                EXPECT_FALSE(defaults.boolForKey(key)) << key;
        });
    }
}

TEST_F(StartUpTest, TheLoginItemIsBroughtInLineWithThePreference)
{
    UserDefaults& defaults = UserDefaults::standard();
    const std::string stale = "/opt/Other.app";
    loginItems().setItems({stale});
    defaults.setBool(true, "TVIStartAtLogin");
    defaults.synchronize();
    launch(TELVORA_APP_DIR, [&] {
        EXPECT_EQ(loginItems().items(), (std::vector<std::string>{Bundle::mainBundle().bundlePath(), stale}));
    });

    defaults.setBool(false, "TVIStartAtLogin");
    defaults.synchronize();
    launch(TELVORA_APP_DIR, [&] { EXPECT_EQ(loginItems().items(), (std::vector<std::string>{stale})); });
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => preferenceStartAtLogin:0"));
}

}
}
