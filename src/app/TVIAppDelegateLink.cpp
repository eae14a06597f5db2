// The controller's side of the link: messages to Calvetto and the reactions to stored changes.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/TVIAutoLoginUtils.h"
#include "link/TVIMessageTypes.h"

#include <cstring>

namespace tvi {
namespace {

struct EnabledKeyLines {
    const char* key;
    const char* disableLine;
    const char* enableLine;
    void (TVIAppDelegate::*unregister)();
};

// Tested in this order; answer call writes no line of its own.
constexpr EnabledKeyLines kEnabledKeyLines[] = {
    {MASPrefKeyMakeCallShortcutEnabled, "%@: => observeValueForKeyPath disable make call shortcut",
     "%@: => observeValueForKeyPath enable make call shortcut", &TVIAppDelegate::unregisterMakeCallShortcut},
    {MASPrefKeyCancelActionShortcutEnabled, "%@: => observeValueForKeyPath disable cancel action shortcut",
     "%@: => observeValueForKeyPath enable cancel shortcut", &TVIAppDelegate::unregisterCancelActionShortcut},
    {MASPrefKeyClearConnectionShortcutEnabled, "%@: => observeValueForKeyPath disable clear connection shortcut",
     "%@: => observeValueForKeyPath enable clear connection shortcut", &TVIAppDelegate::unregisterClearConnectionShortcut},
    {MASPrefKeyDeflectCallShortcutEnabled, "%@: => observeValueForKeyPath disable deflect call shortcut",
     "%@: => observeValueForKeyPath enable deflect call shortcut", &TVIAppDelegate::unregisterDeflectCallShortcut},
    {MASPrefKeyHoldCallShortcutEnabled, "%@: => observeValueForKeyPath disable hold call shortcut",
     "%@:  observeValueForKeyPath enable hold call shortcut", &TVIAppDelegate::unregisterHoldCallShortcut},
    {MASPrefKeyRetrieveCallShortcutEnabled, "%@: => observeValueForKeyPath disable retrieve call shortcut",
     "%@: =>observeValueForKeyPath  enable retrieve call shortcut", &TVIAppDelegate::unregisterRetrieveCallShortcut},
    {MASPrefKeyTransferCallShortcutEnabled, "%@: => observeValueForKeyPath disable transfer call shortcut",
     "%@: => observeValueForKeyPath enable transfer call shortcut", &TVIAppDelegate::unregisterTransferCallShortcut},
    {MASPrefKeyAnswerCallShortcutEnabled, nullptr, nullptr, &TVIAppDelegate::unregisterAnswerCallShortcut},
};

}

void TVIAppDelegate::askForIpAddress()
{
    DDLogInfo("%@: => askForIpAddress");
    sendCommandToClient(Ip_Address_Request);
}

void TVIAppDelegate::sendCommandToClient(std::uint8_t type)
{
    DDLogInfo("%@: => sendCommandToClient identifier:%c", static_cast<char>(type));
    if (!tviSocket_) return;
    tviSocket_->writeData(tviSocket_->constructResponse(type, std::nullopt));
}

void TVIAppDelegate::observeValueForKeyPath(const std::string& keyPath, const PlistValue& newValue)
{
    const bool enabled = newValue.boolValue();
    if (keyPath == TVIStartAtLogin) {
        if (enabled) {
            DDLogInfo("%@: => enable auto start");
            TVIAutoLoginUtils::addLoginItem();
        } else {
            DDLogInfo("%@: => observeValueForKeyPath disable auto start");
            TVIAutoLoginUtils::removeLoginItem();
        }
    } else if (keyPath == TVILastSavedIpString) {
        DDLogInfo("%@: => observeValueForKeyPath setFeedForUpdate");
        setFeedForUpdate();
    } else {
        for (const EnabledKeyLines& lines : kEnabledKeyLines) {
            if (keyPath != lines.key) continue;
            const char* line = enabled ? lines.enableLine : lines.disableLine;
            if (line) DDLogInfo(line);
            if (!enabled) (this->*lines.unregister)();
            break;
        }
    }
    NotificationCenter::defaultCenter().post("shortcutsEnabledChanged", this);
}

}
