// The controller on the in-memory platform, driven over a real loopback link:
// Calvetto's requests become hot keys, presses reach Calvetto, captured text is dialled.
#include "CalvettoPeer.h"
#include "app/TVIAppDelegate.h"
#include "app/TVIAppPreferences.h"
#include "app/TVIAppUpdates.h"
#include "app/TVICallControl.h"
#include "app/TVICapturedText.h"
#include "app/TVIMakeCallWindow.h"
#include "capture/TVIPasteBoardObserver.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogFileManagerDefault.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/DistributedNotifications.h"
#include "platform/HotKeys.h"
#include "platform/KeyEvents.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/LoginItems.h"
#include "platform/Workspace.h"
#include "platform/memory/AlertsTestInterface.h"
#include "platform/memory/DistributedNotificationsTestInterface.h"
#include "platform/memory/HotKeysTestInterface.h"
#include "platform/memory/KeyEventsTestInterface.h"
#include "platform/memory/LoginItemsTestInterface.h"
#include "platform/memory/PasteboardTestInterface.h"
#include "platform/memory/WorkspaceTestInterface.h"
#include "shortcuts/MASShortcut.h"
#include "support/CollectingLogger.h"
#include "support/MainLoopThread.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

template <typename Interface, typename Service>
Interface& control()
{
    return dynamic_cast<Interface&>(*Platform::get<Service>());
}

WorkspaceTestInterface& workspace() { return control<WorkspaceTestInterface, Workspace>(); }
KeyEventsTestInterface& keyEvents() { return control<KeyEventsTestInterface, KeyEvents>(); }
HotKeysTestInterface& hotKeyControl() { return control<HotKeysTestInterface, HotKeys>(); }
PasteboardTestInterface& pasteboard() { return control<PasteboardTestInterface, Pasteboard>(); }
DistributedNotificationsTestInterface& distributedNotifications()
{
    return control<DistributedNotificationsTestInterface, DistributedNotifications>();
}
AlertsTestInterface& alerts() { return control<AlertsTestInterface, Alerts>(); }
LoginItemsTestInterface& loginItems() { return control<LoginItemsTestInterface, LoginItems>(); }

class CallControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Bundle::setMainBundle(Bundle(TELVORA_APP_DIR));
        loop = new MainLoopThread;
        logger = CollectingLogger::install();
        logFolder = makeTempDir("call-control-logs");
        fileLogger = std::make_shared<DDFileLogger>(std::make_shared<DDLogFileManagerDefault>(logFolder));
        DDLog::addLogger(fileLogger);
        controller = std::make_shared<TVIAppDelegate>();
        controller->setPasteboardPollInterval(20ms);
        MainLoopThread::runOnMain([] {
            controller->initPreferences();
            controller->initNotifications();
            controller->initPasteboardObserver();
            controller->initSocket();
        });
        peer = new CalvettoPeer;
        ASSERT_TRUE(peer->connect("127.0.0.1", controller->tviSocket()->port()));
        ASSERT_EQ(peer->receiveBytes(2, 3s), (Bytes{0x01, 0x34}));
    }

    static void TearDownTestSuite()
    {
        delete peer;
        MainLoopThread::runOnMain([] { controller->applicationWillTerminate(); });
        MainLoopThread::drain();
        controller.reset();
        delete loop;
        DDLog::removeLogger(fileLogger);
        CollectingLogger::uninstall(logger);
    }

    void SetUp() override
    {
        workspace().setFrontmostApplication("org.gnome.TextEditor");
        workspace().setRunningApplications({{"com.orvella.phoneclient", 4242}});
        keyEvents().setFrontProcess(4711);
        keyEvents().clearPostedEvents();
    }

    void TearDown() override
    {
        // Every test starts with no shortcut switched on.
        EXPECT_EQ(exchange({0x01, 0x05}), (Bytes{0x01, 0x06}));
        MainLoopThread::drain();
    }

    static Bytes exchange(const Bytes& request, std::size_t replyLength = 2)
    {
        EXPECT_TRUE(peer->sendRaw(request));
        return peer->receiveBytes(replyLength, 3s);
    }

    // Messages that arrive before the answer to an echo, i.e. everything sent so far.
    static std::vector<Bytes> messagesUntilEcho()
    {
        MainLoopThread::drain();
        EXPECT_TRUE(peer->send(0x00));
        std::vector<Bytes> messages;
        while (auto message = peer->receive(3s)) {
            if (message->msgType() == 0x01) break;
            messages.push_back(message->convertToNSData());
        }
        return messages;
    }

    static Bytes pressedWithText(const std::string& text)
    {
        Bytes bytes{static_cast<std::uint8_t>(text.size() + 1), 0x0B};
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    }

    static std::vector<HotKeysTestInterface::RegisteredHotKey> hotKeys()
    {
        std::vector<HotKeysTestInterface::RegisteredHotKey> keys;
        MainLoopThread::runOnMain([&] { keys = hotKeyControl().registeredHotKeys(); });
        return keys;
    }

    static void press(std::uint32_t keyCode, std::uint32_t carbonModifiers)
    {
        MainLoopThread::runOnMain([&] { hotKeyControl().press(keyCode, carbonModifiers); });
        MainLoopThread::drain();
    }

    static void copy(const std::string& text) { pasteboard().writeText(text); }
    // Copies, then waits until the pasteboard observer's announcement of it was handled.
    static void copyAndWaitUntilHandled(const std::string& text)
    {
        const auto handled = [] {
            return logger->count("TVIAppDelegate: => pasteboardUpdated makeCallHasFired flag: 0") +
                   logger->count("TVIAppDelegate: => pasteboardUpdated makeCallHasFired flag: 1");
        };
        const std::size_t before = handled();
        copy(text);
        for (int i = 0; i < 1000 && handled() == before; ++i) std::this_thread::sleep_for(5ms);
        EXPECT_EQ(handled(), before + 1);
        // A copy made before the observer's pass has ended counts as seen by that pass: wait for its end.
        const auto passEnded = [] {
            return controller->pasteboardObserver()->countChangedInPasteboard() == Platform::get<Pasteboard>()->changeCount();
        };
        for (int i = 0; i < 1000 && !passEnded(); ++i) std::this_thread::sleep_for(5ms);
        EXPECT_TRUE(passEnded());
    }

    static inline MainLoopThread* loop = nullptr;
    static inline std::shared_ptr<CollectingLogger> logger;
    static inline std::shared_ptr<DDFileLogger> fileLogger;
    static inline std::string logFolder;
    static inline std::shared_ptr<TVIAppDelegate> controller;
    static inline CalvettoPeer* peer = nullptr;
};

TEST_F(CallControlTest, AHoldRequestInstallsAHotKeyWhosePressSendsHoldPressed)
{
    EXPECT_EQ(exchange({0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1D})); // Ctrl+F5
    const auto keys = hotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].keyCode, 96u);
    EXPECT_EQ(keys[0].modifiers, controlKey);
    EXPECT_TRUE(UserDefaults::standard().boolForKey("TVIHoldCallShortcutEnabled"));
    EXPECT_EQ(UserDefaults::standard().dataForKey("TVIHoldCallShortcut"), MASShortcut::shortcutWithKeyCode(96, 0x40000).data());
    EXPECT_TRUE(logger->contains("TVIAppDelegate: Hold Call Keyboard Key:96"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: Hold Call Modifier Flags:262144"));

    press(96, controlKey);
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{{0x01, 0x20}}));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => HoldCallHandler"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => sendCommandToClient identifier: "));
}

TEST_F(CallControlTest, MonitoringStopRemovesEveryHotKeyButKeepsTheStoredCombinations)
{
    EXPECT_EQ(exchange({0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1D}));
    EXPECT_EQ(exchange({0x04, 0x22, 0x01, 0x01, 0x0D}), (Bytes{0x01, 0x23})); // answer: F2
    EXPECT_EQ(exchange({0x04, 0x2E, 0x01, 0x01, 0x13}), (Bytes{0x01, 0x2F})); // transfer: F8
    EXPECT_EQ(hotKeys().size(), 3u);
    EXPECT_EQ(exchange({0x01, 0x05}), (Bytes{0x01, 0x06}));
    EXPECT_TRUE(hotKeys().empty());
    for (const char* key : {"TVIHoldCallShortcut", "TVIAnswerCallShortcut", "TVITransferCallShortcut"})
        EXPECT_TRUE(UserDefaults::standard().dataForKey(key)) << key;
    press(96, controlKey);
    EXPECT_TRUE(messagesUntilEcho().empty());
}

TEST_F(CallControlTest, ADeleteRemovesOnlyItsAction)
{
    EXPECT_EQ(exchange({0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1D}));
    EXPECT_EQ(exchange({0x04, 0x2E, 0x01, 0x01, 0x13}), (Bytes{0x01, 0x2F}));
    EXPECT_EQ(exchange({0x01, 0x4F}), (Bytes{0x01, 0x50}));
    const auto keys = hotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].keyCode, 96u);
    press(100, 0);
    press(96, controlKey);
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{{0x01, 0x20}}));
}

TEST_F(CallControlTest, AMakeCallPressCopiesTheSelectionAndSendsIt)
{
    EXPECT_EQ(exchange({0x04, 0x07, 0x01, 0x01, 0x0C}), (Bytes{0x01, 0x08})); // F1
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => registerMakeCallShortcut"));
    press(122, 0);
    const std::vector<PostedKeyEvent> copyKeys{{PostedKeyEvent::Kind::KeyDown, 8, 0x100000},
                                               {PostedKeyEvent::Kind::KeyUp, 8, 0}};
    EXPECT_EQ(keyEvents().postedEvents(), copyKeys);
    copy("+49 89 1234-5678");
    for (int i = 0; i < 200 && controller->callControl().makeCallWindow().makeCallHasFired(); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText("+49 89 1234-5678")}));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: =>string from Pasteboard: +49 89 1234-5678"));
    EXPECT_FALSE(controller->callControl().makeCallWindow().hasTimer());
    const auto activations = workspace().activations();
    ASSERT_FALSE(activations.empty());
    EXPECT_EQ(activations.back().bundleIdentifier, "com.orvella.phoneclient");
}

TEST_F(CallControlTest, WithoutACopyTheWindowClosesAndALaterCopyIsNotDialledNorLogged)
{
    EXPECT_EQ(exchange({0x04, 0x07, 0x01, 0x01, 0x0C}), (Bytes{0x01, 0x08}));
    workspace().setFrontmostApplication("com.orvella.phoneclient");
    press(122, 0);
    const bool nothingPosted = keyEvents().postedEvents().empty();
    EXPECT_TRUE(nothingPosted); // Calvetto in front: no copy
    EXPECT_TRUE(logger->waitFor("TVIAppDelegate: makeCallHasFired was set to NO from timer", 3s));
    copyAndWaitUntilHandled("my secret password");
    EXPECT_TRUE(messagesUntilEcho().empty());
    EXPECT_TRUE(logger->contains("TVIAppDelegate: =>string from Pasteboard: <18 characters>"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: Normal pasteboard operation"));
    DDLog::flushLog();
    for (const auto& entry : std::filesystem::directory_iterator(logFolder)) {
        std::ifstream in(entry.path());
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content.find("secret"), std::string::npos) << entry.path();
    }
}

TEST_F(CallControlTest, MarkerTextIsSentWithoutAPress)
{
    copyAndWaitUntilHandled("TVAutomator:\n1234567");
    copyAndWaitUntilHandled("call TVAutomator:\n123");
    copyAndWaitUntilHandled("TVAutomator:\n");
    copyAndWaitUntilHandled("TVAutomator:\n\xC2\xA0\xE3\x80\x80"); // blank in Unicode's sense
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText("1234567"), pressedWithText("123")}));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: Pasteboard string contains magic text!"));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => pasteboardUpdated stringFromPasteboard is null"));
}

TEST_F(CallControlTest, WhatStandsBeforeTheMarkerIsNeitherSentNorLogged)
{
    copyAndWaitUntilHandled("my secret password TVAutomator:\n0815");
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText("0815")}));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: =>string from Pasteboard: 0815"));
    for (const std::string& line : logger->texts()) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST_F(CallControlTest, CompanionTextIsSentUnchangedAndInOrder)
{
    auto& notes = distributedNotifications();
    notes.postFromAnotherProcess("com.orvella.Telvora-Automator.textFromAutomator", "  089 1234 \n");
    notes.postFromAnotherProcess("com.orvella.Telvora-Automator.textFromAutomator", "   \n");
    // No-break space, line separator, ideographic space, NEL: blank, not a number.
    notes.postFromAnotherProcess("com.orvella.Telvora-Automator.textFromAutomator",
                                 "\xC2\xA0\xE2\x80\xA8\xE3\x80\x80\xC2\x85");
    notes.postFromAnotherProcess("com.orvella.Telvora-Automator.textFromAutomator", "0815");
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText("  089 1234 \n"), pressedWithText("0815")}));
}

TEST_F(CallControlTest, CapturedTextIsCutToFitOneMessage)
{
    MainLoopThread::runOnMain([] { controller->callControl().capturedText().sendCapturedTextToClient(std::string(150, '7')); });
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText(std::string(100, '7'))}));

    std::string euros;
    for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC"; // 300 bytes of UTF-8
    const Bytes cut = TVICapturedText::capturedTextPayload(euros);
    EXPECT_EQ(cut.size(), 252u); // 84 whole characters, never a wrapped length byte
    const std::string smiley = "\xF0\x9F\x98\x80";         // two UTF-16 units
    EXPECT_EQ(TVICapturedText::capturedTextPayload(std::string(99, 'a') + smiley).size(), 99u);
    EXPECT_EQ(TVICapturedText::capturedTextPayload(std::string(98, 'a') + smiley).size(), 102u);
}

TEST_F(CallControlTest, TheFeedFollowsTheServerAddress)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.0.10", "192.168.0.10/management/downloads/Appcast.xml"},
        {"192.168.0.10/", "192.168.0.10/management/downloads/Appcast.xml"},
        // The scheme's own two slashes are kept; only runs after it are reduced.
        {"https://updates.example//x/", "https://updates.example/x/management/downloads/Appcast.xml"},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080/management/downloads/Appcast.xml"},
    };
    for (auto [address, feed] : cases) {
        const Bytes text(address, address + std::strlen(address));
        Bytes request{static_cast<std::uint8_t>(text.size() + 1), 0x55};
        request.insert(request.end(), text.begin(), text.end());
        EXPECT_EQ(exchange(request), (Bytes{0x01, 0x56}));
        std::string built;
        MainLoopThread::runOnMain([&] { built = controller->updates().constructFeedUrl(); });
        EXPECT_EQ(built, feed);
        EXPECT_TRUE(logger->contains(std::string("TVIAppDelegate: => setFeedForUpdate -> Current Url to set : ") + feed));
    }
}

TEST_F(CallControlTest, CheckingWithAnEmptyAddressOnlyWarns)
{
    alerts().reset();
    EXPECT_EQ(exchange({0x01, 0x55}), (Bytes{0x01, 0x56}));
    MainLoopThread::runOnMain([] { controller->checkForUpdates(); });
    ASSERT_EQ(alerts().shownAlerts().size(), 1u);
    EXPECT_EQ(alerts().shownAlerts()[0].messageText, "Could not check for update.");
    EXPECT_EQ(alerts().shownAlerts()[0].informativeText, "Please check IP address of server in Calvetto and try again.");
    EXPECT_FALSE(logger->contains("TVIAppDelegate: => Will check for update with url:(null)"));
}

TEST_F(CallControlTest, ACombinationRecordedInThePreferencesTakesThePlaceOfCalvettos)
{
    MainLoopThread::runOnMain([] { controller->callControl().startObservingUserDefaultsChanges(); });
    EXPECT_EQ(exchange({0x04, 0x07, 0x01, 0x01, 0x0C}), (Bytes{0x01, 0x08})); // Calvetto: F1
    // The user records F2 for make call, and F3 for deflect, which was never registered.
    MainLoopThread::runOnMain([] {
        UserDefaults::standard().setData(MASShortcut::shortcutWithKeyCode(120, 0).data(), "TVIMakeCallShortcut");
        UserDefaults::standard().setData(MASShortcut::shortcutWithKeyCode(99, 0).data(), "TVIDeflectCallShortcut");
    });
    std::vector<std::uint32_t> keys;
    for (const auto& key : hotKeys()) keys.push_back(key.keyCode);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{120})); // F2 follows the preference, F1 is given back
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => userDefaultsDidChange -> reRegister makeCall"));
    EXPECT_FALSE(logger->contains("TVIAppDelegate: => userDefaultsDidChange -> reRegister deflectCall"));
    const std::string closedByTimer = "TVIAppDelegate: makeCallHasFired was set to NO from timer";
    const std::size_t closedBefore = logger->count(closedByTimer);
    press(120, 0);
    EXPECT_EQ(keyEvents().postedEvents().size(), 2u); // the recorded key makes a call too
    for (int i = 0; i < 300 && logger->count(closedByTimer) == closedBefore; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(logger->count(closedByTimer), closedBefore + 1);
}

TEST_F(CallControlTest, StartAtLoginFollowsThePreference)
{
    const std::string bundle = Bundle::mainBundle().bundlePath();
    MainLoopThread::runOnMain([] { controller->preferences().setPreferenceStartAtLogin(true); });
    EXPECT_EQ(loginItems().items(), (std::vector<std::string>{bundle}));
    EXPECT_TRUE(logger->contains("TVIAppDelegate: => enable auto start"));
    MainLoopThread::runOnMain([] { controller->preferences().setPreferenceStartAtLogin(false); });
    EXPECT_TRUE(loginItems().items().empty());
}

TEST_F(CallControlTest, TheMakeCallWindowClosesExactlyOnceWhenCopyAndTimerRace)
{
    constexpr int kRounds = 150;
    const auto closedByTimer = [] { return logger->count("TVIAppDelegate: makeCallHasFired was set to NO from timer"); };
    const std::size_t timerClosesBefore = closedByTimer();
    for (int round = 0; round < kRounds; ++round) {
        MainLoopThread::runOnMain([] { controller->callControl().makeCall(); });
        std::thread copier([] { controller->callControl().capturedText().pasteboardUpdated(std::string("555")); });
        MainLoopThread::runOnMain([] { controller->callControl().makeCallWindow().onTick(); });
        copier.join();
        ASSERT_FALSE(controller->callControl().makeCallWindow().makeCallHasFired());
        ASSERT_FALSE(controller->callControl().makeCallWindow().hasTimer());
    }
    const std::size_t sent = messagesUntilEcho().size();
    EXPECT_EQ(sent + (closedByTimer() - timerClosesBefore), std::size_t(kRounds));
}

TEST_F(CallControlTest, ACombinationSentAgainLeavesNoHotKeyBehind)
{
    const Bytes holdControlF5{0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10};
    const Bytes holdF6{0x04, 0x1C, 0x01, 0x01, 0x11};
    const Bytes holdAccepted{0x01, 0x1D};
    const auto keyCodes = [] {
        std::vector<std::uint32_t> codes;
        for (const auto& key : hotKeys()) codes.push_back(key.keyCode);
        return codes;
    };

    // The same combination again, then monitoring stop.
    EXPECT_EQ(exchange(holdControlF5), holdAccepted);
    EXPECT_EQ(exchange(holdControlF5), holdAccepted);
    EXPECT_EQ(keyCodes(), (std::vector<std::uint32_t>{96}));
    EXPECT_EQ(exchange({0x01, 0x05}), (Bytes{0x01, 0x06}));
    EXPECT_TRUE(hotKeys().empty());

    // Another combination, then delete: only the new one was live.
    EXPECT_EQ(exchange(holdControlF5), holdAccepted);
    EXPECT_EQ(exchange(holdF6), holdAccepted);
    EXPECT_EQ(keyCodes(), (std::vector<std::uint32_t>{97}));
    EXPECT_EQ(exchange({0x01, 0x46}), (Bytes{0x01, 0x47}));
    MainLoopThread::drain();
    EXPECT_TRUE(hotKeys().empty());

    // Both again, then Calvetto goes away.
    EXPECT_EQ(exchange(holdControlF5), holdAccepted);
    EXPECT_EQ(exchange(holdF6), holdAccepted);
    delete peer;
    peer = nullptr;
    for (int i = 0; i < 300 && !hotKeys().empty(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(hotKeys().empty());
    peer = new CalvettoPeer;
    ASSERT_TRUE(peer->connect("127.0.0.1", controller->tviSocket()->port()));
    ASSERT_EQ(peer->receiveBytes(2, 3s), (Bytes{0x01, 0x34}));
}

TEST_F(CallControlTest, ARefusedCombinationFailsStaysStoredAndIsTriedAgainAtMonitoringStart)
{
    MainLoopThread::runOnMain([] { hotKeyControl().setRegistrationRefusal(eventHotKeyExistsErr); });
    EXPECT_EQ(exchange({0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x1F})); // hold Ctrl+F5: Failed
    MainLoopThread::runOnMain([] { hotKeyControl().setRegistrationRefusal(noErr); });
    EXPECT_TRUE(hotKeys().empty());
    EXPECT_TRUE(logger->contains("TVISocket: Button Combination [Hold Call] could not be registered, answered Failed", 2));
    EXPECT_EQ(UserDefaults::standard().dataForKey("TVIHoldCallShortcut"), MASShortcut::shortcutWithKeyCode(96, 0x40000).data());

    EXPECT_EQ(exchange({0x01, 0x02}), (Bytes{0x01, 0x03}));
    const auto keys = hotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].keyCode, 96u);
    press(96, controlKey);
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{{0x01, 0x20}}));

    // A combination another action holds is refused as well.
    EXPECT_EQ(exchange({0x06, 0x22, 0x02, 0x01, 0x3E, 0x01, 0x10}), (Bytes{0x01, 0x25}));
    EXPECT_EQ(exchange({0x04, 0x22, 0x01, 0x01, 0x0D}), (Bytes{0x01, 0x23})); // F2 takes: nothing left to retry
}

TEST_F(CallControlTest, AnEarlierPressDoesNotCutALaterMakeCallWindowShort)
{
    MainLoopThread::runOnMain([] { controller->callControl().makeCall(); });
    std::this_thread::sleep_for(500ms);
    MainLoopThread::runOnMain([] { controller->callControl().makeCall(); });
    MainLoopThread::runOnMain([] { controller->callControl().capturedText().pasteboardUpdated(std::string("555")); });
    const auto thirdPress = std::chrono::steady_clock::now();
    MainLoopThread::runOnMain([] { controller->callControl().makeCall(); });
    while (controller->callControl().makeCallWindow().makeCallHasFired() && std::chrono::steady_clock::now() - thirdPress < 5s)
        std::this_thread::sleep_for(5ms);
    // Closed no earlier than its own 1.5 seconds, although the first press's would have ended sooner.
    EXPECT_GE(std::chrono::steady_clock::now() - thirdPress, 1450ms);
    EXPECT_FALSE(controller->callControl().makeCallWindow().makeCallHasFired());
    EXPECT_EQ(messagesUntilEcho(), (std::vector<Bytes>{pressedWithText("555")}));
}

}
}
