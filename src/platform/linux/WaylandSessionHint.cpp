#include "platform/linux/WaylandSessionHint.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"

#include <string>

namespace tvi {
namespace {

std::string localized(const std::string& key)
{
    return TVILocalizationUtilities::replaceAppNameInString(Bundle::mainBundle().localizedString(key));
}

}

void WaylandSessionHint::show()
{
    DDLogWarn("%@: This is a Wayland session: global shortcuts and the make-call copy need an X11 session "
              "(\"GNOME on Xorg\" at the login screen on Debian's GNOME); everything else runs");
    UserDefaults& defaults = UserDefaults::standard();
    if (defaults.boolForKey(kShownKey)) return;

    Alert alert;
    alert.alertStyle = AlertStyle::Informational;
    alert.messageText = localized("Global shortcuts need an X11 session for now");
    alert.informativeText = localized(
        "In a Wayland session the call-control shortcuts of <AppName> do not work, and it cannot copy the text "
        "selected in other programs: Wayland gives neither to X11 programs. Everything else works.\n\n"
        "To use the shortcuts everywhere, log out, choose an X11 session at the login screen (the gear button "
        "under the password field; on Debian's GNOME it is \"GNOME on Xorg\") and log in again.");
    alert.buttons = {localized("OK")};
    Platform::get<Alerts>()->runModal(alert);
    defaults.setBool(true, kShownKey);
    defaults.synchronize();
}

}
