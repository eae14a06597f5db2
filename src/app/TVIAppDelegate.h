#pragma once

#include "foundation/NotificationCenter.h"
#include "foundation/PlistValue.h"
#include "link/TVISocket.h"
#include "link/TVISocketController.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

class DDFileLogger;
class SUUpdater;
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
    void initSocket();
    void initAutoLogin();
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

    // The link.
    void askForIpAddress() override;
    void sendCommandToClient(std::uint8_t type);
    // Key-value observation of the user defaults (writing thread).
    void observeValueForKeyPath(const std::string& keyPath, const PlistValue& newValue);

    // The update feed.
    void initSparkleUpdater(bool firstRun);
    std::string constructFeedUrl();
    void setFeedForUpdate();

    const std::shared_ptr<TVISocket>& tviSocket() const { return tviSocket_; }
    const std::shared_ptr<DDFileLogger>& fileLogger() const { return fileLogger_; }
    const PlistDictionary& lastSavedShortcutsDict() const { return lastSavedShortcutsDict_; }
    bool makeCallHasFired() const { return makeCallHasFired_; }
    bool isAccessibilityEnabled() const { return isAccessibilityEnabled_; }

private:
    void setBoolAndSynchronize(bool value, const char* key);
    void logLanguageAndRegion();

    std::shared_ptr<TVISocket> tviSocket_;
    std::shared_ptr<DDFileLogger> fileLogger_;
    SUUpdater* updater_ = nullptr;
    std::atomic<bool> makeCallHasFired_{false};
    std::atomic<bool> isAccessibilityEnabled_{false};
    PlistDictionary lastSavedShortcutsDict_;
};

}
