#pragma once

#include "foundation/NotificationCenter.h"
#include "foundation/PlistValue.h"
#include "link/TVIMessageTypes.h"
#include "link/TVISocket.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvi {

class MASShortcut;
class TVICapturedText;
class TVIMakeCallWindow;
class UserDefaults;

// Call control: Calvetto's combinations become global hot keys, one monitor an action,
// switched off with their enabled flags; every press reaches Calvetto, and the make-call
// press opens the window in which the copied text is sent. Main thread unless said.
class TVICallControl : public std::enable_shared_from_this<TVICallControl> {
public:
    TVICallControl();
    ~TVICallControl();
    TVICallControl(const TVICallControl&) = delete;
    TVICallControl& operator=(const TVICallControl&) = delete;

    // The link server, once it runs.
    void setSocket(std::shared_ptr<TVISocket> socket);
    TVIMakeCallWindow& makeCallWindow() const { return *window_; }
    TVICapturedText& capturedText() const { return *capturedText_; }

    bool isShortcutEnabled(TVICallAction action) const;
    void setShortcutEnabled(TVICallAction action, bool enabled);
    void disableAllShortcuts();
    // Whether the action holds a live hot key for exactly this combination.
    bool holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags) const;
    std::optional<std::string> monitorIdentifier(TVICallAction action) const;

    // Calvetto's request, the action's update notification ("makeCallUpdated" ...).
    void shortcutUpdated(TVICallAction action, const Notification& notification);
    void registerShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags,
                          bool registeredFromCalvetto);
    void registerMakeCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool registeredFromCalvetto)
    {
        registerShortcut(TVICallAction::MakeCall, keyCode, modifierFlags, registeredFromCalvetto);
    }
    // The common worker: a combination under a shortcut key, pressed with the handler.
    void registerShortcut(const std::string& defaultsKey, std::uint64_t keyCode, std::uint64_t modifierFlags,
                          std::function<void()> handler, bool registeredFromCalvetto);
    void archiveShortcutData(const MASShortcut& shortcut, const std::string& defaultKey);
    // Action numbers 1 to 8 (make call ... transfer call), with the fallback combination.
    void reRegisterShortcuts(int actionNumber, bool registeredFromCalvetto);
    void unregisterShortcut(TVICallAction action);

    // Combinations recorded in the preferences window, followed once that window was shown.
    void startObservingUserDefaultsChanges();
    void userDefaultsDidChange();
    const PlistDictionary& lastSavedShortcutsDict() const { return lastSavedShortcutsDict_; }
    void setLastSavedShortcutsDict(PlistDictionary stored) { lastSavedShortcutsDict_ = std::move(stored); }

    // A hot key's press.
    void pressed(TVICallAction action);
    void makeCall();
    void sendCommandToClient(std::uint8_t type);

private:
    UserDefaults& defaults() const;
    // Makes the shortcut the action's one monitor; the action's earlier one goes first.
    void replaceMonitor(TVICallAction action, const MASShortcut& shortcut, std::function<void()> handler);
    void dropMonitor(TVICallAction action);
    // A combination the registry refused is tried again when its action is switched on.
    void retryRefusedShortcut(TVICallAction action);
    static std::size_t slot(TVICallAction action) { return static_cast<std::size_t>(action); }

    std::shared_ptr<TVIMakeCallWindow> window_;
    std::unique_ptr<TVICapturedText> capturedText_;
    std::shared_ptr<TVISocket> socket_;
    std::array<std::optional<std::string>, 8> shortcutMonitors_;
    std::array<bool, 8> refusedShortcuts_{};
    bool observingDefaultsChanges_ = false;
    PlistDictionary lastSavedShortcutsDict_;
};

}
