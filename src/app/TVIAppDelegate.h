#pragma once

#include "foundation/NotificationCenter.h"
#include "foundation/PlistValue.h"
#include "link/TVISocket.h"
#include "link/TVISocketController.h"

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

class DDFileLogger;
class DispatchTimer;
class MASShortcut;
class SUUpdater;
class TVICrashManager;
class TVIAutomatorInstaller;
class TVIPasteBoardObserver;
class UserDefaults;

// The application controller: starts and stops the program, keeps the user
// defaults of the call-control machinery and answers the link server.
// Its operations are spread over several files by concern (start-up and
// preferences, link, update feed).
class TVIAppDelegate : public TVISocketController, public std::enable_shared_from_this<TVIAppDelegate> {
public:
    TVIAppDelegate();
    ~TVIAppDelegate() override;
    TVIAppDelegate(const TVIAppDelegate&) = delete;
    TVIAppDelegate& operator=(const TVIAppDelegate&) = delete;

    // Application life cycle (main thread).
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Start-up steps.
    void initLogging();
    void initPreferences();
    void initNotifications();
    void initPasteboardObserver();
    // How often the pasteboard is looked at (once a second unless tests ask otherwise).
    void setPasteboardPollInterval(std::chrono::milliseconds interval) { pasteboardPollInterval_ = interval; }
    void initSocket();
    void initAutoLogin();
    void initAutomatorInstaller();
    void initAboutDialog();
    void initAxStatusItem();
    // The status item's icons for the desktop's style: shown while closed, shown while open.
    struct StatusItemImages {
        std::string image;
        std::string alternateImage;
    };
    static StatusItemImages statusItemImages(bool darkMode);
    void stopServer();
    void removeNotifications();

    // Preferences.
    UserDefaults& defaults() const;
    bool preferenceStartAtLogin();
    void setPreferenceStartAtLogin(bool enabled);
    bool preferenceEnableVibrantAppearance();
    void setPreferenceEnableVibrantAppearance(bool enabled);
    std::optional<std::string> lastSavedIpString();
    void setLastSavedIpString(const std::optional<std::string>& address) override;

    bool isMakeCallShortcutEnabled();
    bool isCancelActionShortcutEnabled();
    bool isAnswerCallShortcutEnabled();
    bool isClearConnectionShortcutEnabled();
    bool isDeflectCallShortcutEnabled();
    bool isHoldCallShortcutEnabled();
    bool isRetrieveCallShortcutEnabled();
    bool isTransferCallShortcutEnabled();
    void setMakeCallShortcutEnabled(bool enabled) override;
    void setCancelActionShortcutEnabled(bool enabled) override;
    void setAnswerCallShortcutEnabled(bool enabled) override;
    void setClearConnectionShortcutEnabled(bool enabled) override;
    void setDeflectCallShortcutEnabled(bool enabled) override;
    void setHoldCallShortcutEnabled(bool enabled) override;
    void setRetrieveCallShortcutEnabled(bool enabled) override;
    void setTransferCallShortcutEnabled(bool enabled) override;
    void disableAllShortcuts() override;
    bool holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags) override;

    // The link.
    void askForIpAddress() override;
    void sendCommandToClient(std::uint8_t type);
    // Key-value observation of the user defaults (writing thread).
    void observeValueForKeyPath(const std::string& keyPath, const PlistValue& newValue);

    // Menu commands of the status menu (main thread).
    void showAbout();
    void showPreferences();
    void quitApplication();

    // The update feed.
    void initSparkleUpdater(bool firstRun);
    std::string constructFeedUrl();
    void setFeedForUpdate();
    // The menu command: a check the user asked for.
    void checkForUpdates();

    // Call-control shortcuts: Calvetto's requests, registration, presses.
    void makeCallUpdated(const Notification& notification);
    void cancelActionUpdated(const Notification& notification);
    void answerCallUpdated(const Notification& notification);
    void clearConnectionUpdated(const Notification& notification);
    void deflectCallUpdated(const Notification& notification);
    void holdCallUpdated(const Notification& notification);
    void retrieveCallUpdated(const Notification& notification);
    void transferCallUpdated(const Notification& notification);
    void registerMakeCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerCancelActionShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerAnswerCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerClearConnectionShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerDeflectCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerHoldCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerRetrieveCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerTransferCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto);
    void registerShortcut(const std::string& defaultsKey, std::uint64_t keyCode, std::uint64_t modifierFlags,
                          std::function<void()> handler, bool registeredFromCalvetto);
    void archiveShortcutData(const MASShortcut& shortcut, const std::string& defaultKey);
    void reRegisterShortcuts(int actionNumber, bool registeredFromCalvetto);
    void unregisterMakeCallShortcut();
    void unregisterCancelActionShortcut();
    void unregisterAnswerCallShortcut();
    void unregisterClearConnectionShortcut();
    void unregisterDeflectCallShortcut();
    void unregisterHoldCallShortcut();
    void unregisterRetrieveCallShortcut();
    void unregisterTransferCallShortcut();
    // Follows shortcuts recorded in the preferences window (observed once that window was shown).
    void userDefaultsDidChange();
    void startObservingUserDefaultsChanges();
    void makeCall();
    void startTimer();
    void onTick();
    void cancelAction();
    void answerCall();
    void clearConnection();
    void deflectCall();
    void holdCall();
    void retrieveCall();
    void transferCall();

    // Captured text.
    void pasteboardUpdated(const std::optional<std::string>& text);
    void getSelectedTextFromService(const std::optional<std::string>& text);
    void sendCapturedTextToClient(const std::optional<std::string>& text);
    // The payload for captured text: at most 100 UTF-16 units, never half a
    // character, and never more than a message can carry.
    static Bytes capturedTextPayload(const std::string& text);

    // The problem report's log files: the contents of the newest ones the file logger keeps
    // (current file included); empty without a file logger. Any thread.
    std::vector<PlistData> errorLogData() const;

    // The crash check at start and its prompt; the problem-report window.
    void checkForCrashes();
    bool checkForCrashLogDataAtLaunch();
    void notifyUserAboutCrash();
    void showReportProblem();
    const std::shared_ptr<TVICrashManager>& crashManager() const { return crashManager_; }

    // Accessibility.
    void cacheIsAccessibilityEnabled();
    void accessibilityChanged();

    const std::shared_ptr<TVISocket>& tviSocket() const { return tviSocket_; }
    const std::shared_ptr<DDFileLogger>& fileLogger() const { return fileLogger_; }
    const PlistDictionary& lastSavedShortcutsDict() const { return lastSavedShortcutsDict_; }
    bool makeCallHasFired() const { return makeCallHasFired_; }
    // The pasteboard observer, once the application has finished launching; null before.
    const TVIPasteBoardObserver* pasteboardObserver() const { return pasteboardObserver_.get(); }
    std::optional<std::string> monitorIdentifier(int actionNumber) const;
    bool hasTimer() const;
    bool isAccessibilityEnabled() const { return isAccessibilityEnabled_; }

    // One row of the call-control action table (numbered 1 to 8).
    struct ShortcutAction;

private:
    static const ShortcutAction* actionForDefaultsKey(const std::string& key);
    void setBoolAndSynchronize(bool value, const char* key);
    void logLanguageAndRegion();
    void handleShortcutUpdate(int actionNumber, const Notification& notification);
    void registerActionShortcut(int actionNumber, std::uint64_t keyCode, std::uint64_t modifierFlags,
                                bool registeredFromCalvetto);
    // Makes the shortcut the action's one monitor; the action's earlier one goes first.
    void replaceMonitor(int actionNumber, const MASShortcut& shortcut, std::function<void()> handler);
    void dropMonitor(int actionNumber);
    void setShortcutEnabled(int actionNumber, bool enabled);
    // A combination the registry refused is tried again when its action is switched on.
    void retryRefusedShortcut(int actionNumber);
    // Ends the make-call window only if it is still the one this tick was started for.
    void onTickOfWindow(std::uint64_t window);
    void unregisterActionShortcut(int actionNumber);
    void pressed(int actionNumber);
    void observeNotification(const char* name, void (TVIAppDelegate::*handler)(const Notification&));
    // Takes the make-call timer out (under the lock) so it can be stopped outside it.
    std::shared_ptr<DispatchTimer> takeTimer();

    std::shared_ptr<TVISocket> tviSocket_;
    std::shared_ptr<DDFileLogger> fileLogger_;
    std::shared_ptr<TVIAutomatorInstaller> installer_;
    SUUpdater* updater_ = nullptr;
    std::unique_ptr<TVIPasteBoardObserver> pasteboardObserver_;
    std::shared_ptr<TVICrashManager> crashManager_;
    std::chrono::milliseconds pasteboardPollInterval_{1000};
    std::array<std::optional<std::string>, 8> shortcutMonitors_;
    std::array<bool, 8> refusedShortcuts_{};
    mutable std::mutex timerMutex_;
    std::shared_ptr<DispatchTimer> timer_;
    std::uint64_t timerWindow_ = 0; // counts make-call windows; guarded by timerMutex_
    bool observingDefaultsChanges_ = false;
    std::atomic<bool> makeCallHasFired_{false};
    std::atomic<bool> isAccessibilityEnabled_{false};
    PlistDictionary lastSavedShortcutsDict_;
};

}
