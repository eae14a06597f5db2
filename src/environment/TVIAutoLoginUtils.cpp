#include "environment/TVIAutoLoginUtils.h"

#include "foundation/Bundle.h"
#include "platform/LoginItems.h"
#include "platform/Platform.h"

namespace tvi {

void TVIAutoLoginUtils::addLoginItem() { loginItemAction(true); }

void TVIAutoLoginUtils::removeLoginItem() { loginItemAction(false); }

void TVIAutoLoginUtils::loginItemAction(bool add)
{
    const std::string bundleLocation = Bundle::mainBundle().bundlePath();
    std::shared_ptr<LoginItems> loginItems = Platform::get<LoginItems>();
    if (!loginItems->isAvailable()) return;
    // A list that refuses the change stays as it was; there is nobody to tell.
    bool present = loginItems->isLoginItem(bundleLocation);
    if (present && !add) loginItems->removeLoginItem(bundleLocation);
    else if (!present && add) loginItems->addLoginItem(bundleLocation);
}

}
