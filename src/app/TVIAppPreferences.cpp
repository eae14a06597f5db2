// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIAppPreferences.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/UserDefaults.h"

namespace tvi {

UserDefaults& TVIAppPreferences::defaults() const { return UserDefaults::standard(); }

void TVIAppPreferences::setBoolAndSynchronize(bool value, const char* key)
{
    defaults().setBool(value, key);
    defaults().synchronize();
}

bool TVIAppPreferences::preferenceStartAtLogin() const
{
    const bool value = defaults().boolForKey(TVIStartAtLogin);
    DDLogInfo("%@: => preferenceStartAtLogin:%hhd", value);
    return value;
}

void TVIAppPreferences::setPreferenceStartAtLogin(bool enabled) { setBoolAndSynchronize(enabled, TVIStartAtLogin); }

bool TVIAppPreferences::preferenceEnableVibrantAppearance() const
{
    return defaults().boolForKey(TVIEnableVibrantAppearance);
}

void TVIAppPreferences::setPreferenceEnableVibrantAppearance(bool enabled)
{
    setBoolAndSynchronize(enabled, TVIEnableVibrantAppearance);
}

std::optional<std::string> TVIAppPreferences::lastSavedIpString() const
{
    return defaults().stringForKey(TVILastSavedIpString);
}

void TVIAppPreferences::setLastSavedIpString(const std::optional<std::string>& address)
{
    if (address)
        defaults().setString(*address, TVILastSavedIpString);
    else
        defaults().removeObjectForKey(TVILastSavedIpString);
    defaults().synchronize();
}

}
