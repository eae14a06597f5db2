// The controller's preferences: defaults from the bundle, first run.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

#include "app/TVIAppPreferences.h"
#include "app/TVIAppUpdates.h"
#include "app/TVICallControl.h"
#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/UserDefaults.h"

namespace tvi {

UserDefaults& TVIAppDelegate::defaults() const
{
    return UserDefaults::standard();
}

void TVIAppDelegate::initPreferences()
{
    DDLogInfo("%@: => initPreferences");
    const Bundle bundle = Bundle::mainBundle();
    callControl_->setLastSavedShortcutsDict(
        defaults().persistentDomainForName(bundle.bundleIdentifier().value_or("")).value_or(PlistDictionary{}));

    const auto plistPath = bundle.pathForResource("Defaults", "plist");
    DDLogInfo("%@: => initPreferences -> plistPath:%@", plistPath);
    if (plistPath) {
        const auto registered = PropertyListSerialization::propertyListWithContentsOfFile(*plistPath);
        if (registered && registered->is<PlistDictionary>()) defaults().registerDefaults(*registered->get<PlistDictionary>());
    }

    DDLogInfo("%@: => initPreferences -> appVersion:%@",
              bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue());

    if (defaults().boolForKey(TVIFirstRun)) {
        DDLogInfo("%@: => initPreferences -> First Run");
        defaults().setBool(false, TVIFirstRun);
        defaults().synchronize();
        updates_->initSparkleUpdater(true);
    } else {
        updates_->initSparkleUpdater(false);
    }
}

void TVIAppDelegate::setLastSavedIpString(const std::optional<std::string>& address)
{
    preferences_->setLastSavedIpString(address);
}

void TVIAppDelegate::setShortcutEnabled(TVICallAction action, bool enabled)
{
    callControl_->setShortcutEnabled(action, enabled);
}

void TVIAppDelegate::disableAllShortcuts() { callControl_->disableAllShortcuts(); }

bool TVIAppDelegate::holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags)
{
    return callControl_->holdsShortcut(action, keyCode, modifierFlags);
}

}
