#include "shortcuts/MASShortcutMonitor.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/Platform.h"
#include "shortcuts/MASShortcutHotKey.h"

#include <atomic>
#include <memory>

namespace tvi {

namespace {

struct InstalledEventHandler {
    std::shared_ptr<HotKeys> hotKeys;
    HotKeys::EventHandlerRef handler = 0;
};

// The registry's process-wide state, created on first use; touched on the main thread only.
struct Registry {
    std::map<std::string, std::unique_ptr<MASShortcutHotKey>> MASRegisteredHotKeys;
    std::uint32_t sCarbonHotKeyID = 0;
    std::optional<InstalledEventHandler> sEventHandler;
    int suspensions = 0;
};

// Never destroyed: hot keys bound to user defaults may still remove theirs during exit.
Registry& registry()
{
    static Registry* instance = new Registry;
    return *instance;
}

std::atomic<bool> MASShortcutExclusiveMode{true};

// Hot keys go to the service that delivers their presses: the one the handler is installed on.
std::shared_ptr<HotKeys> hotKeyService()
{
    const auto& installed = registry().sEventHandler;
    return installed ? installed->hotKeys : Platform::get<HotKeys>();
}

bool installCommonEventHandler()
{
    Registry& state = registry();
    if (state.sEventHandler) return true;
    std::shared_ptr<HotKeys> hotKeys = Platform::get<HotKeys>();
    HotKeys::HandlerInstallation installation = hotKeys->installEventHandler(&MASShortcutMonitor::CarbonCallback);
    if (installation.status != noErr) {
        DDLogError("%@: The hot-key event handler could not be installed, status %d", installation.status);
        return false;
    }
    state.sEventHandler = InstalledEventHandler{std::move(hotKeys), installation.handler};
    return true;
}

void removeCommonEventHandler()
{
    Registry& state = registry();
    if (!state.sEventHandler) return;
    state.sEventHandler->hotKeys->removeEventHandler(state.sEventHandler->handler);
    state.sEventHandler.reset();
}

std::unique_ptr<MASShortcutHotKey> createHotKey(const MASShortcut& shortcut, MASShortcutMonitor::Handler handler)
{
    if (!installCommonEventHandler()) return nullptr;
    std::uint32_t number = ++registry().sCarbonHotKeyID;
    return MASShortcutHotKey::create(shortcut, std::move(handler), hotKeyService(),
                                     MASShortcutMonitor::kMASShortcutSignature, number, MASShortcutExclusiveMode);
}

}

std::optional<std::string> MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(
    const std::optional<MASShortcut>& shortcut, Handler handler)
{
    // A shortcut without a key would register key code 0, the A key.
    if (!shortcut || shortcut->keyCode() == NSNotFound) return std::nullopt;
    std::string monitor = monitorIdentifier(*shortcut);
    auto& hotKeys = registry().MASRegisteredHotKeys;
    if (hotKeys.count(monitor)) return std::nullopt;
    std::unique_ptr<MASShortcutHotKey> hotKey = createHotKey(*shortcut, std::move(handler));
    if (!hotKey) return std::nullopt;
    if (registry().suspensions > 0) hotKey->uninstall(); // installed again on resume
    hotKeys.emplace(monitor, std::move(hotKey));
    return monitor;
}

void MASShortcutMonitor::removeGlobalHotkeyMonitor(const std::optional<std::string>& monitor)
{
    if (!monitor) return;
    auto& hotKeys = registry().MASRegisteredHotKeys;
    auto found = hotKeys.find(*monitor);
    if (found == hotKeys.end()) return;
    std::unique_ptr<MASShortcutHotKey> hotKey = std::move(found->second);
    hotKeys.erase(found);
    hotKey.reset(); // unregisters the platform hot key
    if (hotKeys.empty()) removeCommonEventHandler();
}

void MASShortcutMonitor::suspendHotKeys()
{
    if (registry().suspensions++ > 0) return;
    for (const auto& [monitor, hotKey] : registry().MASRegisteredHotKeys) hotKey->uninstall();
}

void MASShortcutMonitor::resumeHotKeys()
{
    Registry& state = registry();
    if (state.suspensions == 0 || --state.suspensions > 0) return;
    for (const auto& [monitor, hotKey] : state.MASRegisteredHotKeys) {
        if (OSStatus status = hotKey->install(); status != noErr)
            DDLogWarn("%@: Hot key %@ could not be registered again after recording, status %d",
                      hotKey->shortcut().description(), status);
    }
}

bool MASShortcutMonitor::hotKeysSuspended() { return registry().suspensions > 0; }

OSStatus MASShortcutMonitor::probeRegistration(const MASShortcut& shortcut)
{
    if (shortcut.keyCode() == NSNotFound) return eventHotKeyInvalidErr;
    if (registry().MASRegisteredHotKeys.count(monitorIdentifier(shortcut))) return eventHotKeyExistsErr;
    // Number 0 is never handed out, so a press during the probe runs no handler.
    const std::shared_ptr<HotKeys> hotKeys = hotKeyService();
    HotKeys::HotKeyRegistration probe = hotKeys->registerEventHotKey(
        shortcut.carbonKeyCode(), shortcut.carbonFlags(), EventHotKeyID{kMASShortcutSignature, 0},
        kEventHotKeyExclusive);
    if (probe.status == noErr) hotKeys->unregisterEventHotKey(probe.hotKey);
    return probe.status;
}

void MASShortcutMonitor::setExclusiveMode(bool exclusive) { MASShortcutExclusiveMode = exclusive; }

bool MASShortcutMonitor::exclusiveMode() { return MASShortcutExclusiveMode; }

std::map<std::string, MASShortcut> MASShortcutMonitor::copyOfMASRegisteredHotKeys()
{
    std::map<std::string, MASShortcut> copy;
    for (const auto& [monitor, hotKey] : registry().MASRegisteredHotKeys)
        copy.emplace(monitor, hotKey->shortcut());
    return copy;
}

std::string MASShortcutMonitor::monitorIdentifier(const MASShortcut& shortcut)
{
    return format("%@ (key %lu, flags 0x%lx)", shortcut.description(), shortcut.keyCode(), shortcut.modifierFlags());
}

OSStatus MASShortcutMonitor::CarbonCallback(const HotKeyEvent& event)
{
    // The handler is meant for presses only; a release must not run the action a second time.
    if (event.eventClass != kEventClassKeyboard || event.eventKind != kEventHotKeyPressed) return noErr;
    if (!event.hotKeyID) return eventParameterNotFoundErr;
    if (event.hotKeyID->signature != kMASShortcutSignature) return noErr;

    Handler handler;
    for (const auto& [monitor, hotKey] : registry().MASRegisteredHotKeys) {
        if (hotKey->carbonHotKeyID() != event.hotKeyID->id) continue;
        // A copy: the handler may remove its own monitor while it runs.
        handler = hotKey->handler();
        break;
    }
    if (handler) handler();
    return noErr;
}

}
