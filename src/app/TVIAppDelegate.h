#pragma once

#include "foundation/NotificationCenter.h"
#include "foundation/PlistValue.h"
#include "link/TVISocket.h"
#include "link/TVISocketController.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

class DDFileLogger;
class TVIAppPreferences;
class TVIAppUpdates;
class TVIAutomatorInstaller;
class TVICallControl;
class TVICrashReports;
class TVIPasteBoardObserver;
class TVIProblemReport;
class UserDefaults;

// The application controller: starts and stops the program, follows the observed
// notifications and stored changes, and runs the menu commands. Call control, updates,
// crash reports and the problem report are parts it owns.
class TVIAppDelegate : public TVISocketController, public std::enable_shared_from_this<TVIAppDelegate> {
public:
    TVIAppDelegate();
    ~TVIAppDelegate() override;
    TVIAppDelegate(const TVIAppDelegate&) = delete;
    TVIAppDelegate& operator=(const TVIAppDelegate&) = delete;

    // Application life cycle (main thread).
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Start-up steps that tests run alone.
    void initPreferences();
    void initNotifications();
    void initPasteboardObserver();
    // How often the pasteboard is looked at (once a second unless tests ask otherwise).
    void setPasteboardPollInterval(std::chrono::milliseconds interval) { pasteboardPollInterval_ = interval; }
    void initSocket();
    // The status item's icons for the desktop's style: shown while closed, shown while open.
    struct StatusItemImages {
        std::string image;
        std::string alternateImage;
    };
    static StatusItemImages statusItemImages(bool darkMode);

    // What the link server asks (main queue).
    void askForIpAddress() override;
    void disableAllShortcuts() override;
    void setShortcutEnabled(TVICallAction action, bool enabled) override;
    void setMakeCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::MakeCall, e); }
    void setCancelActionShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::CancelAction, e); }
    void setAnswerCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::AnswerCall, e); }
    void setClearConnectionShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::ClearConnection, e); }
    void setDeflectCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::DeflectCall, e); }
    void setHoldCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::HoldCall, e); }
    void setRetrieveCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::RetrieveCall, e); }
    void setTransferCallShortcutEnabled(bool e) override { setShortcutEnabled(TVICallAction::TransferCall, e); }
    bool holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags) override;
    void setLastSavedIpString(const std::optional<std::string>& address) override;
    // Key-value observation of the user defaults (writing thread).
    void observeValueForKeyPath(const std::string& keyPath, const PlistValue& newValue);

    // Menu commands of the status menu and the about window (main thread).
    void showAbout();
    void showPreferences();
    void checkForUpdates();
    void showReportProblem();
    void quitApplication();

    // The parts.
    TVICallControl& callControl() const { return *callControl_; }
    TVIAppPreferences& preferences() const { return *preferences_; }
    TVIAppUpdates& updates() const { return *updates_; }
    TVICrashReports& crashReports() const { return *crashReports_; }
    TVIProblemReport& problemReport() const { return *problemReport_; }

    UserDefaults& defaults() const;
    const std::shared_ptr<TVISocket>& tviSocket() const { return tviSocket_; }
    const std::shared_ptr<DDFileLogger>& fileLogger() const { return fileLogger_; }
    // The pasteboard observer, once the application has finished launching; null before.
    const TVIPasteBoardObserver* pasteboardObserver() const { return pasteboardObserver_.get(); }
    bool isAccessibilityEnabled() const { return isAccessibilityEnabled_; }

private:
    void initLogging();
    void initAboutDialog();
    void initAxStatusItem();
    void initAutoLogin();
    void initAutomatorInstaller();
    void stopServer();
    void removeNotifications();
    void observeCallActionNotifications();
    void cacheIsAccessibilityEnabled();
    void accessibilityChanged();
    void logLanguageAndRegion();

    std::unique_ptr<TVIAppPreferences> preferences_;
    std::shared_ptr<TVICallControl> callControl_;
    std::unique_ptr<TVIAppUpdates> updates_;
    std::shared_ptr<TVIProblemReport> problemReport_;
    std::unique_ptr<TVICrashReports> crashReports_;
    std::shared_ptr<TVISocket> tviSocket_;
    std::shared_ptr<DDFileLogger> fileLogger_;
    std::shared_ptr<TVIAutomatorInstaller> installer_;
    std::unique_ptr<TVIPasteBoardObserver> pasteboardObserver_;
    std::chrono::milliseconds pasteboardPollInterval_{1000};
    std::atomic<bool> isAccessibilityEnabled_{false};
};

}
