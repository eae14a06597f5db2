// The controller's call-control shortcuts: Calvetto's combinations become global
// hot keys, switched off with their enabled flags, and every press reaches Calvetto.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

#include "app/TVIPreferenceKeys.h"
#include "capture/TVIKeyPosting.h"
#include "capture/TVIWindowUtils.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchTimer.h"
#include "foundation/UserDefaults.h"
#include "link/TVIMessageTypes.h"
#include "shortcuts/MASShortcut.h"
#include "shortcuts/MASShortcutMonitor.h"
#include "shortcuts/MASShortcutUserDefaults.h"

namespace tvi {

struct TVIAppDelegate::ShortcutAction {
    int number;
    const char* shortcutKey;
    const char* enabledKey;
    const char* displayName;
    std::uint64_t fallbackKeyCode;
    std::uint64_t fallbackModifiers;
    const char* handlerLine;
    const char* reRegisterLine;
};

namespace {

constexpr std::uint64_t kShiftControl = 0x60000;
constexpr std::uint16_t kCopyKey = 8;             // the key labelled C
constexpr std::uint64_t kCommandFlag = 0x100000;
constexpr auto kMakeCallWindow = std::chrono::milliseconds(1500);

}

static const TVIAppDelegate::ShortcutAction kActions[] = {
    {1, MASPrefKeyMakeCallShortcut, MASPrefKeyMakeCallShortcutEnabled, "Make Call", 18, kShiftControl,
     "%@: => MakeCallHandler", "%@: => userDefaultsDidChange -> reRegister makeCall"},
    {2, MASPrefKeyCancelActionShortcut, MASPrefKeyCancelActionShortcutEnabled, "Cancel Action", 53, 0,
     "%@: => CancelActionHandler", "%@: => userDefaultsDidChange -> reRegister cancelAction"},
    {3, MASPrefKeyAnswerCallShortcut, MASPrefKeyAnswerCallShortcutEnabled, "Answer Call", 20, kShiftControl,
     "%@: => AnswerCallHandler", "%@: => userDefaultsDidChange -> reRegister answerCall"},
    {4, MASPrefKeyClearConnectionShortcut, MASPrefKeyClearConnectionShortcutEnabled, "Clear Connection", 21,
     kShiftControl, "%@: => ClearConnectionHandler", "%@: => userDefaultsDidChange -> reRegister clearConnection"},
    {5, MASPrefKeyDeflectCallShortcut, MASPrefKeyDeflectCallShortcutEnabled, "Deflect Call", 23, kShiftControl,
     "%@: => DeflectCallHandler", "%@: => userDefaultsDidChange -> reRegister deflectCall"},
    {6, MASPrefKeyHoldCallShortcut, MASPrefKeyHoldCallShortcutEnabled, "Hold Call", 22, kShiftControl,
     "%@: => HoldCallHandler", "%@: => userDefaultsDidChange -> reRegister holdCall"},
    {7, MASPrefKeyRetrieveCallShortcut, MASPrefKeyRetrieveCallShortcutEnabled, "Retrieve Call", 26, kShiftControl,
     "%@: => RetrieveCallHandler", "%@: => userDefaultsDidChange -> reRegister retrieveCall"},
    {8, MASPrefKeyTransferCallShortcut, MASPrefKeyTransferCallShortcutEnabled, "Transfer Call", 28, kShiftControl,
     "%@: => TransferCallHandler", "%@: => userDefaultsDidChange -> reRegister transferCall"},
};

const TVIAppDelegate::ShortcutAction* TVIAppDelegate::actionForDefaultsKey(const std::string& key)
{
    for (const ShortcutAction& action : kActions)
        if (key == action.shortcutKey) return &action;
    return nullptr;
}

std::optional<std::string> TVIAppDelegate::monitorIdentifier(int actionNumber) const
{
    if (actionNumber < 1 || actionNumber > 8) return std::nullopt;
    return shortcutMonitors_[actionNumber - 1];
}

bool TVIAppDelegate::holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags)
{
    // The call actions are kept in the order of the action table.
    const auto& monitor = shortcutMonitors_[static_cast<std::size_t>(action)];
    const std::string wanted = MASShortcutMonitor::monitorIdentifier(MASShortcut::shortcutWithKeyCode(keyCode, modifierFlags));
    return monitor == wanted && MASShortcutMonitor::copyOfMASRegisteredHotKeys().count(wanted) == 1;
}

void TVIAppDelegate::setShortcutEnabled(int actionNumber, bool enabled)
{
    setBoolAndSynchronize(enabled, kActions[actionNumber - 1].enabledKey);
    if (enabled) retryRefusedShortcut(actionNumber);
}

void TVIAppDelegate::retryRefusedShortcut(int actionNumber)
{
    if (!refusedShortcuts_[actionNumber - 1] || shortcutMonitors_[actionNumber - 1]) return;
    const auto stored = MASShortcut::shortcutWithData(defaults().dataForKey(kActions[actionNumber - 1].shortcutKey));
    if (!stored) return;
    if (actionNumber == 1)
        registerMakeCallShortcut(stored->keyCode(), stored->modifierFlags(), true);
    else
        registerActionShortcut(actionNumber, stored->keyCode(), stored->modifierFlags(), true);
}

// Calvetto's requests.

void TVIAppDelegate::handleShortcutUpdate(int actionNumber, const Notification& notification)
{
    const ShortcutAction& action = kActions[actionNumber - 1];
    DDLogInfo(("%@: => " + notification.name).c_str());
    const auto field = [&](const char* name) {
        auto it = notification.userInfo.find(name);
        return it == notification.userInfo.end() ? 0 : static_cast<std::uint64_t>(it->second.integerValue());
    };
    const std::uint64_t keyCode = field("key");
    const std::uint64_t modifierFlags = field("modifierFlags");
    DDLogInfo((std::string("%@: ") + action.displayName + " Keyboard Key:%lu").c_str(), keyCode);
    DDLogInfo((std::string("%@: ") + action.displayName + " Modifier Flags:%lu").c_str(), modifierFlags);
    setBoolAndSynchronize(true, action.enabledKey);
    if (actionNumber == 1)
        registerMakeCallShortcut(keyCode, modifierFlags, true);
    else
        registerActionShortcut(actionNumber, keyCode, modifierFlags, true);
}

void TVIAppDelegate::makeCallUpdated(const Notification& n) { handleShortcutUpdate(1, n); }
void TVIAppDelegate::cancelActionUpdated(const Notification& n) { handleShortcutUpdate(2, n); }
void TVIAppDelegate::answerCallUpdated(const Notification& n) { handleShortcutUpdate(3, n); }
void TVIAppDelegate::clearConnectionUpdated(const Notification& n) { handleShortcutUpdate(4, n); }
void TVIAppDelegate::deflectCallUpdated(const Notification& n) { handleShortcutUpdate(5, n); }
void TVIAppDelegate::holdCallUpdated(const Notification& n) { handleShortcutUpdate(6, n); }
void TVIAppDelegate::retrieveCallUpdated(const Notification& n) { handleShortcutUpdate(7, n); }
void TVIAppDelegate::transferCallUpdated(const Notification& n) { handleShortcutUpdate(8, n); }

// Registration.

void TVIAppDelegate::registerMakeCallShortcut(std::uint64_t keyCode, std::uint64_t modifierFlags, bool fromCalvetto)
{
    DDLogInfo("%@: => registerMakeCallShortcut");
    DDLogInfo("%@: keycode to register:%lu", keyCode);
    DDLogInfo("%@: modifier to register:%lu", modifierFlags);
    registerActionShortcut(1, keyCode, modifierFlags, fromCalvetto);
}
void TVIAppDelegate::registerCancelActionShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(2, k, m, f); }
void TVIAppDelegate::registerAnswerCallShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(3, k, m, f); }
void TVIAppDelegate::registerClearConnectionShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(4, k, m, f); }
void TVIAppDelegate::registerDeflectCallShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(5, k, m, f); }
void TVIAppDelegate::registerHoldCallShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(6, k, m, f); }
void TVIAppDelegate::registerRetrieveCallShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(7, k, m, f); }
void TVIAppDelegate::registerTransferCallShortcut(std::uint64_t k, std::uint64_t m, bool f) { registerActionShortcut(8, k, m, f); }

void TVIAppDelegate::registerActionShortcut(int actionNumber, std::uint64_t keyCode, std::uint64_t modifierFlags,
                                            bool registeredFromCalvetto)
{
    // The handler keeps the controller alive, as the registry keeps the handler.
    auto handler = [self = shared_from_this(), actionNumber] { self->pressed(actionNumber); };
    registerShortcut(kActions[actionNumber - 1].shortcutKey, keyCode, modifierFlags, handler, registeredFromCalvetto);
}

void TVIAppDelegate::registerShortcut(const std::string& defaultsKey, std::uint64_t keyCode,
                                      std::uint64_t modifierFlags, std::function<void()> handler,
                                      bool registeredFromCalvetto)
{
    DDLogInfo("%@: => registerShortcut");
    DDLogInfo("%@: => registerShortcut defaultsKey:%@", defaultsKey);
    MASShortcutMonitor::setExclusiveMode(defaultsKey == MASPrefKeyMakeCallShortcut);
    MASShortcut::setAllowsAnyHotkeyWithOptionModifier(true);

    const ShortcutAction* action = actionForDefaultsKey(defaultsKey);
    if (!registeredFromCalvetto && defaults().dataForKey(defaultsKey)) {
        // The combination recorded in the window takes the place of Calvetto's: one hot key an action.
        if (action) dropMonitor(action->number);
        MASShortcutUserDefaults::registerGlobalShortcutWithUserDefaultsKey(defaultsKey, std::move(handler));
        return;
    }
    // And Calvetto's takes the place of a recorded one, which would follow the key written below.
    MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(defaultsKey);
    const MASShortcut shortcut = MASShortcut::shortcutWithKeyCode(keyCode, modifierFlags);
    if (action)
        replaceMonitor(action->number, shortcut, std::move(handler));
    else
        DDLogWarn("%@: Unknown Defaults key");
    // Recorded before the write, so the write's change notification finds nothing new.
    lastSavedShortcutsDict_[defaultsKey] = PlistValue(shortcut.data());
    archiveShortcutData(shortcut, defaultsKey);
}

void TVIAppDelegate::replaceMonitor(int actionNumber, const MASShortcut& shortcut, std::function<void()> handler)
{
    auto& monitor = shortcutMonitors_[actionNumber - 1];
    const std::string wanted = MASShortcutMonitor::monitorIdentifier(shortcut);
    // Sent again unchanged: the hot key in force is already this action's.
    const bool alreadyHeld = monitor == wanted && MASShortcutMonitor::copyOfMASRegisteredHotKeys().count(wanted) == 1;
    if (!alreadyHeld) {
        // A monitor nothing points at could never be removed again.
        MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
        monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(shortcut, std::move(handler));
    }
    refusedShortcuts_[actionNumber - 1] = !monitor;
}

void TVIAppDelegate::archiveShortcutData(const MASShortcut& shortcut, const std::string& defaultKey)
{
    defaults().setData(shortcut.data(), defaultKey);
    defaults().synchronize();
}

void TVIAppDelegate::reRegisterShortcuts(int actionNumber, bool registeredFromCalvetto)
{
    DDLogInfo("%@: => reRegisterShortcuts");
    if (actionNumber < 1 || actionNumber > 8) {
        DDLogInfo("%@: Cant Reregister shortcut");
        return;
    }
    const ShortcutAction& action = kActions[actionNumber - 1];
    switch (actionNumber) {
    case 1: registerMakeCallShortcut(action.fallbackKeyCode, action.fallbackModifiers, registeredFromCalvetto); break;
    default: registerActionShortcut(actionNumber, action.fallbackKeyCode, action.fallbackModifiers, registeredFromCalvetto);
    }
}

// Switching off.

void TVIAppDelegate::unregisterActionShortcut(int actionNumber)
{
    const ShortcutAction& action = kActions[actionNumber - 1];
    if (defaults().dataForKey(action.shortcutKey))
        MASShortcutUserDefaults::unregisterGlobalShortcutWithUserDefaultsKey(action.shortcutKey);
    dropMonitor(actionNumber);
}

void TVIAppDelegate::dropMonitor(int actionNumber)
{
    auto& monitor = shortcutMonitors_[actionNumber - 1];
    if (!monitor) return;
    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
    monitor.reset();
}

void TVIAppDelegate::unregisterMakeCallShortcut() { unregisterActionShortcut(1); }
void TVIAppDelegate::unregisterCancelActionShortcut() { unregisterActionShortcut(2); }
void TVIAppDelegate::unregisterAnswerCallShortcut() { unregisterActionShortcut(3); }
void TVIAppDelegate::unregisterClearConnectionShortcut() { unregisterActionShortcut(4); }
void TVIAppDelegate::unregisterDeflectCallShortcut() { unregisterActionShortcut(5); }
void TVIAppDelegate::unregisterHoldCallShortcut() { unregisterActionShortcut(6); }
void TVIAppDelegate::unregisterRetrieveCallShortcut() { unregisterActionShortcut(7); }
void TVIAppDelegate::unregisterTransferCallShortcut() { unregisterActionShortcut(8); }

// Changes recorded in the preferences window.

void TVIAppDelegate::startObservingUserDefaultsChanges()
{
    if (observingDefaultsChanges_) return;
    observingDefaultsChanges_ = true;
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    NotificationCenter::defaultCenter().addObserver(
        UserDefaults::didChangeNotification, &defaults(),
        [weak](const Notification&) {
            if (auto self = weak.lock()) self->userDefaultsDidChange();
        },
        this);
}

void TVIAppDelegate::userDefaultsDidChange()
{
    const auto domain = defaults().persistentDomainForName(Bundle::mainBundle().bundleIdentifier().value_or(""))
                            .value_or(PlistDictionary{});
    std::array<bool, 8> changed{};
    for (const ShortcutAction& action : kActions) {
        auto saved = lastSavedShortcutsDict_.find(action.shortcutKey);
        if (saved == lastSavedShortcutsDict_.end()) continue;
        auto stored = domain.find(action.shortcutKey);
        if (stored != domain.end() && stored->second == saved->second) continue;
        if (stored == domain.end())
            lastSavedShortcutsDict_.erase(saved);
        else
            saved->second = stored->second;
        changed[action.number - 1] = true;
    }
    for (const ShortcutAction& action : kActions) {
        if (!changed[action.number - 1]) continue;
        reRegisterShortcuts(action.number, false);
        DDLogInfo(action.reRegisterLine);
    }
}

// Presses.

void TVIAppDelegate::pressed(int actionNumber)
{
    DDLogInfo(kActions[actionNumber - 1].handlerLine);
    switch (actionNumber) {
    case 1: makeCall(); break;
    case 2: cancelAction(); break;
    case 3: answerCall(); break;
    case 4: clearConnection(); break;
    case 5: deflectCall(); break;
    case 6: holdCall(); break;
    case 7: retrieveCall(); break;
    case 8: transferCall(); break;
    default: break;
    }
}

void TVIAppDelegate::makeCall()
{
    makeCallHasFired_ = true;
    DDLogInfo("%@: => makeCall Handler");
    if (!TVIWindowUtils::checkFrontMostApplication()) postKeyWithModifiers(kCopyKey, kCommandFlag);
    startTimer();
}

void TVIAppDelegate::startTimer()
{
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    std::shared_ptr<DispatchTimer> earlier;
    {
        std::lock_guard lock(timerMutex_);
        const std::uint64_t window = ++timerWindow_;
        earlier = std::exchange(timer_, DispatchTimer::scheduled(DispatchQueue::main(), kMakeCallWindow, false, [weak, window] {
            if (auto self = weak.lock()) self->onTickOfWindow(window);
        }));
    }
    // Each press opens its own window: an earlier press's timer must not cut it short.
    if (earlier) earlier->invalidate();
}

void TVIAppDelegate::onTickOfWindow(std::uint64_t window)
{
    {
        std::lock_guard lock(timerMutex_);
        if (window != timerWindow_ || !timer_) return;
    }
    onTick();
}

std::shared_ptr<DispatchTimer> TVIAppDelegate::takeTimer()
{
    std::lock_guard lock(timerMutex_);
    return std::exchange(timer_, nullptr);
}

bool TVIAppDelegate::hasTimer() const
{
    std::lock_guard lock(timerMutex_);
    return timer_ != nullptr;
}

void TVIAppDelegate::onTick()
{
    bool closed = false;
    std::shared_ptr<DispatchTimer> timer;
    {
        // Under the timer lock, so the pasteboard handler sees either an open window
        // with a live timer or a closed window without one.
        std::lock_guard lock(timerMutex_);
        closed = makeCallHasFired_.exchange(false);
        timer = std::exchange(timer_, nullptr);
    }
    // Only the one who closes the window says so: a copy that won the race already closed it.
    if (closed) DDLogInfo("%@: makeCallHasFired was set to NO from timer");
    if (timer) timer->invalidate();
}

void TVIAppDelegate::cancelAction()
{
    DDLogInfo("%@: => start cancelAction");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::CancelAction).pressed());
}
void TVIAppDelegate::answerCall()
{
    DDLogInfo("%@: => start answerCall");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::AnswerCall).pressed());
}
void TVIAppDelegate::clearConnection()
{
    DDLogInfo("%@: => start clearConnection");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::ClearConnection).pressed());
}
void TVIAppDelegate::deflectCall()
{
    DDLogInfo("%@: => start deflectCall");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::DeflectCall).pressed());
}
void TVIAppDelegate::holdCall()
{
    DDLogInfo("%@: => start holdCall");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::HoldCall).pressed());
}
void TVIAppDelegate::retrieveCall()
{
    DDLogInfo("%@: => start retrieveCall");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::RetrieveCall).pressed());
}
void TVIAppDelegate::transferCall()
{
    DDLogInfo("%@: => start transferCall");
    sendCommandToClient(TVIMessageTypes::codes(TVICallAction::TransferCall).pressed());
}

}
