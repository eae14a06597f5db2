// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVICallControl.h"

#include "app/TVICapturedText.h"
#include "app/TVIMakeCallWindow.h"
#include "capture/TVIKeyPosting.h"
#include "capture/TVIWindowUtils.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "shortcuts/MASShortcut.h"
#include "shortcuts/MASShortcutMonitor.h"
#include "shortcuts/MASShortcutUserDefaults.h"

namespace tvi {
namespace {

constexpr std::uint16_t kCopyKey = 8;             // the key labelled C
constexpr std::uint64_t kCommandFlag = 0x100000;

const TVIActionCodes& row(TVICallAction action) { return TVIMessageTypes::codes(action); }

}

TVICallControl::TVICallControl()
    : window_(std::make_shared<TVIMakeCallWindow>()), capturedText_(std::make_unique<TVICapturedText>(window_))
{
}

TVICallControl::~TVICallControl() = default;

UserDefaults& TVICallControl::defaults() const { return UserDefaults::standard(); }

void TVICallControl::setSocket(std::shared_ptr<TVISocket> socket)
{
    socket_ = socket;
    capturedText_->setSocket(std::move(socket));
}

// Switching on and off.

bool TVICallControl::isShortcutEnabled(TVICallAction action) const
{
    return defaults().boolForKey(row(action).enabledKey);
}

void TVICallControl::setShortcutEnabled(TVICallAction action, bool enabled)
{
    defaults().setBool(enabled, row(action).enabledKey);
    defaults().synchronize();
    if (enabled) retryRefusedShortcut(action);
}

void TVICallControl::disableAllShortcuts()
{
    for (TVICallAction action : allCallActions) setShortcutEnabled(action, false);
}

void TVICallControl::retryRefusedShortcut(TVICallAction action)
{
    if (!refusedShortcuts_[slot(action)] || shortcutMonitors_[slot(action)]) return;
    const auto stored = MASShortcut::shortcutWithData(defaults().dataForKey(row(action).shortcutKey));
    if (stored) registerShortcut(action, stored->keyCode(), stored->modifierFlags(), true);
}

std::optional<std::string> TVICallControl::monitorIdentifier(TVICallAction action) const
{
    return shortcutMonitors_[slot(action)];
}

bool TVICallControl::holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags) const
{
    const auto& monitor = shortcutMonitors_[slot(action)];
    const std::string wanted = MASShortcutMonitor::monitorIdentifier(MASShortcut::shortcutWithKeyCode(keyCode, modifierFlags));
    return monitor == wanted && MASShortcutMonitor::copyOfMASRegisteredHotKeys().count(wanted) == 1;
}

// Calvetto's requests.

void TVICallControl::shortcutUpdated(TVICallAction action, const Notification& notification)
{
    const TVIActionCodes& codes = row(action);
    DDLogInfo(("%@: => " + notification.name).c_str());
    const auto field = [&](const char* name) {
        auto it = notification.userInfo.find(name);
        return it == notification.userInfo.end() ? 0 : static_cast<std::uint64_t>(it->second.integerValue());
    };
    const std::uint64_t keyCode = field("key");
    const std::uint64_t modifierFlags = field("modifierFlags");
    DDLogInfo(("%@: " + std::string(codes.logWords) + " Keyboard Key:%lu").c_str(), keyCode);
    DDLogInfo(("%@: " + std::string(codes.logWords) + " Modifier Flags:%lu").c_str(), modifierFlags);
    defaults().setBool(true, codes.enabledKey);
    defaults().synchronize();
    registerShortcut(action, keyCode, modifierFlags, true);
}

// Registration.

void TVICallControl::registerShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags,
                                      bool registeredFromCalvetto)
{
    if (action == TVICallAction::MakeCall) {
        DDLogInfo("%@: => registerMakeCallShortcut");
        DDLogInfo("%@: keycode to register:%lu", keyCode);
        DDLogInfo("%@: modifier to register:%lu", modifierFlags);
    }
    // The handler keeps call control alive, as the registry keeps the handler.
    auto handler = [self = shared_from_this(), action] { self->pressed(action); };
    registerShortcut(row(action).shortcutKey, keyCode, modifierFlags, handler, registeredFromCalvetto);
}

void TVICallControl::registerShortcut(const std::string& defaultsKey, std::uint64_t keyCode,
                                      std::uint64_t modifierFlags, std::function<void()> handler,
                                      bool registeredFromCalvetto)
{
    DDLogInfo("%@: => registerShortcut");
    DDLogInfo("%@: => registerShortcut defaultsKey:%@", defaultsKey);
    MASShortcutMonitor::setExclusiveMode(defaultsKey == MASPrefKeyMakeCallShortcut);
    MASShortcut::setAllowsAnyHotkeyWithOptionModifier(true);

    const TVIActionCodes* codes = TVIMessageTypes::actionForShortcutKey(defaultsKey);
    if (!registeredFromCalvetto && defaults().dataForKey(defaultsKey)) {
        // The combination recorded in the window takes the place of Calvetto's: one hot key an action.
        if (codes) dropMonitor(codes->action);
        MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(defaultsKey, std::move(handler));
        return;
    }
    // And Calvetto's takes the place of a recorded one, which would follow the key written below.
    MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(defaultsKey);
    const MASShortcut shortcut = MASShortcut::shortcutWithKeyCode(keyCode, modifierFlags);
    if (codes)
        replaceMonitor(codes->action, shortcut, std::move(handler));
    else
        DDLogWarn("%@: Unknown Defaults key");
    // Recorded before the write, so the write's change notification finds nothing new.
    lastSavedShortcutsDict_[defaultsKey] = PlistValue(shortcut.data());
    archiveShortcutData(shortcut, defaultsKey);
}

void TVICallControl::replaceMonitor(TVICallAction action, const MASShortcut& shortcut, std::function<void()> handler)
{
    auto& monitor = shortcutMonitors_[slot(action)];
    const std::string wanted = MASShortcutMonitor::monitorIdentifier(shortcut);
    // Sent again unchanged: the hot key in force is already this action's.
    const bool alreadyHeld = monitor == wanted && MASShortcutMonitor::copyOfMASRegisteredHotKeys().count(wanted) == 1;
    if (!alreadyHeld) {
        // A monitor nothing points at could never be removed again.
        MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
        monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, std::move(handler));
    }
    refusedShortcuts_[slot(action)] = !monitor;
}

void TVICallControl::archiveShortcutData(const MASShortcut& shortcut, const std::string& defaultKey)
{
    defaults().setData(shortcut.data(), defaultKey);
    defaults().synchronize();
}

void TVICallControl::reRegisterShortcuts(int actionNumber, bool registeredFromCalvetto)
{
    DDLogInfo("%@: => reRegisterShortcuts");
    const TVIActionCodes* codes = TVIMessageTypes::actionNumbered(actionNumber);
    if (!codes) {
        DDLogInfo("%@: Cant Reregister shortcut");
        return;
    }
    registerShortcut(codes->action, codes->fallbackKeyCode, codes->fallbackModifiers, registeredFromCalvetto);
}

// Switching off.

void TVICallControl::unregisterShortcut(TVICallAction action)
{
    const char* key = row(action).shortcutKey;
    if (defaults().dataForKey(key)) MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(key);
    dropMonitor(action);
}

void TVICallControl::dropMonitor(TVICallAction action)
{
    auto& monitor = shortcutMonitors_[slot(action)];
    if (!monitor) return;
    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
    monitor.reset();
}

// Changes recorded in the preferences window.

void TVICallControl::startObservingUserDefaultsChanges()
{
    if (observingDefaultsChanges_) return;
    observingDefaultsChanges_ = true;
    std::weak_ptr<TVICallControl> weak = weak_from_this();
    NotificationCenter::defaultCenter().addObserver(
        UserDefaults::didChangeNotification, &defaults(),
        [weak](const Notification&) {
            if (auto self = weak.lock()) self->userDefaultsDidChange();
        },
        this);
}

void TVICallControl::userDefaultsDidChange()
{
    const auto domain = defaults().persistentDomainForName(Bundle::mainBundle().bundleIdentifier().value_or(""))
                            .value_or(PlistDictionary{});
    std::array<bool, 8> changed{};
    for (TVICallAction action : allCallActions) {
        const char* key = row(action).shortcutKey;
        auto saved = lastSavedShortcutsDict_.find(key);
        if (saved == lastSavedShortcutsDict_.end()) continue;
        auto stored = domain.find(key);
        if (stored != domain.end() && stored->second == saved->second) continue;
        if (stored == domain.end())
            lastSavedShortcutsDict_.erase(saved);
        else
            saved->second = stored->second;
        changed[slot(action)] = true;
    }
    for (TVICallAction action : allCallActions) {
        if (!changed[slot(action)]) continue;
        reRegisterShortcuts(row(action).number(), false);
        DDLogInfo(row(action).reRegisterLine);
    }
}

// Presses.

void TVICallControl::pressed(TVICallAction action)
{
    const TVIActionCodes& codes = row(action);
    DDLogInfo(codes.handlerLine);
    if (action == TVICallAction::MakeCall) {
        makeCall();
        return;
    }
    DDLogInfo(codes.pressLine);
    sendCommandToClient(codes.pressed());
}

void TVICallControl::makeCall()
{
    window_->setMakeCallHasFired();
    DDLogInfo(row(TVICallAction::MakeCall).pressLine);
    if (!TVIWindowUtils::checkFrontMostApplication()) postKeyWithModifiers(kCopyKey, kCommandFlag);
    window_->startTimer();
}

void TVICallControl::sendCommandToClient(std::uint8_t type)
{
    DDLogInfo("%@: => sendCommandToClient identifier:%c", static_cast<char>(type));
    if (!socket_) return;
    socket_->writeData(socket_->constructResponse(type, std::nullopt));
}

}
