// The controller's side of the link: the address request and the reactions to stored changes.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

#include "app/TVIAppUpdates.h"
#include "app/TVICallControl.h"
#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/TVIAutoLoginUtils.h"
#include "link/TVIMessageTypes.h"

namespace tvi {

void TVIAppDelegate::askForIpAddress()
{
    DDLogInfo("%@: => askForIpAddress");
    callControl_->sendCommandToClient(Ip_Address_Request);
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
        updates_->setFeedForUpdate();
    } else if (const TVIActionCodes* codes = TVIMessageTypes::actionForEnabledKey(keyPath)) {
        // Switching on writes its line only: registration comes with Calvetto's request.
        if (const char* line = enabled ? codes->enableLine : codes->disableLine) DDLogInfo(line);
        if (!enabled) callControl_->unregisterShortcut(codes->action);
    }
    NotificationCenter::defaultCenter().post("shortcutsEnabledChanged", this);
}

}
