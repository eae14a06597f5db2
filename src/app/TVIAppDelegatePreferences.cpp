// The controller's preferences: defaults from the bundle, first run, accessors.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppDelegate.h"

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
    lastSavedShortcutsDict_ = defaults().persistentDomainForName(bundle.bundleIdentifier().value_or("")).value_or(PlistDictionary{});

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
        initSparkleUpdater(true);
    } else {
        initSparkleUpdater(false);
    }
}

void TVIAppDelegate::setBoolAndSynchronize(bool value, const char* key)
{
    defaults().setBool(value, key);
    defaults().synchronize();
}

bool TVIAppDelegate::preferenceStartAtLogin()
{
    const bool value = defaults().boolForKey(TVIStartAtLogin);
    DDLogInfo("%@: => preferenceStartAtLogin:%hhd", value);
    return value;
}

void TVIAppDelegate::setPreferenceStartAtLogin(bool enabled) { setBoolAndSynchronize(enabled, TVIStartAtLogin); }

bool TVIAppDelegate::preferenceEnableVibrantAppearance() { return defaults().boolForKey(TVIEnableVibrantAppearance); }

void TVIAppDelegate::setPreferenceEnableVibrantAppearance(bool enabled)
{
    setBoolAndSynchronize(enabled, TVIEnableVibrantAppearance);
}

std::optional<std::string> TVIAppDelegate::lastSavedIpString() { return defaults().stringForKey(TVILastSavedIpString); }

void TVIAppDelegate::setLastSavedIpString(const std::optional<std::string>& address)
{
    if (address)
        defaults().setString(*address, TVILastSavedIpString);
    else
        defaults().removeObjectForKey(TVILastSavedIpString);
    defaults().synchronize();
}

bool TVIAppDelegate::isMakeCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyMakeCallShortcutEnabled); }
bool TVIAppDelegate::isCancelActionShortcutEnabled() { return defaults().boolForKey(MASPrefKeyCancelActionShortcutEnabled); }
bool TVIAppDelegate::isAnswerCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyAnswerCallShortcutEnabled); }
bool TVIAppDelegate::isClearConnectionShortcutEnabled() { return defaults().boolForKey(MASPrefKeyClearConnectionShortcutEnabled); }
bool TVIAppDelegate::isDeflectCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyDeflectCallShortcutEnabled); }
bool TVIAppDelegate::isHoldCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyHoldCallShortcutEnabled); }
bool TVIAppDelegate::isRetrieveCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyRetrieveCallShortcutEnabled); }
bool TVIAppDelegate::isTransferCallShortcutEnabled() { return defaults().boolForKey(MASPrefKeyTransferCallShortcutEnabled); }

// Numbered as the controller's action table: make call 1 ... transfer call 8.
void TVIAppDelegate::setMakeCallShortcutEnabled(bool e) { setShortcutEnabled(1, e); }
void TVIAppDelegate::setCancelActionShortcutEnabled(bool e) { setShortcutEnabled(2, e); }
void TVIAppDelegate::setAnswerCallShortcutEnabled(bool e) { setShortcutEnabled(3, e); }
void TVIAppDelegate::setClearConnectionShortcutEnabled(bool e) { setShortcutEnabled(4, e); }
void TVIAppDelegate::setDeflectCallShortcutEnabled(bool e) { setShortcutEnabled(5, e); }
void TVIAppDelegate::setHoldCallShortcutEnabled(bool e) { setShortcutEnabled(6, e); }
void TVIAppDelegate::setRetrieveCallShortcutEnabled(bool e) { setShortcutEnabled(7, e); }
void TVIAppDelegate::setTransferCallShortcutEnabled(bool e) { setShortcutEnabled(8, e); }

void TVIAppDelegate::disableAllShortcuts()
{
    setMakeCallShortcutEnabled(false);
    setCancelActionShortcutEnabled(false);
    setAnswerCallShortcutEnabled(false);
    setClearConnectionShortcutEnabled(false);
    setDeflectCallShortcutEnabled(false);
    setHoldCallShortcutEnabled(false);
    setRetrieveCallShortcutEnabled(false);
    setTransferCallShortcutEnabled(false);
}

}
