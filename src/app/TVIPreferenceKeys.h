#pragma once

#include "diagnostics/TVICrashReportKeys.h"
// The call-control keys (MASPrefKey...) live in the table of call actions.
#include "link/TVIMessageTypes.h"

// The user-defaults keys of Telvora's own, one constant per key.
namespace tvi {

inline constexpr const char* TVIStartAtLogin = "TVIStartAtLogin";
inline constexpr const char* TVIFirstRun = "TVIFirstRun";
inline constexpr const char* TVILastSavedIpString = "TVILastSavedIpString";
inline constexpr const char* TVIShowHiddenPreferences = "TVIShowHiddenPreferences";
inline constexpr const char* TVIPickerDisplayedProperties = "TVIPickerDisplayedProperties";
inline constexpr const char* TVIPickerPeopleAutoSaveName = "TVIPickerPeopleAutoSaveName";
inline constexpr const char* TVIPickerPeopleAutoSaveName2 = "TVIPickerPeopleAutoSaveName2";
inline constexpr const char* TVIPickerPeopleAlwaysOnTop = "TVIPickerPeopleAlwaysOnTop";
inline constexpr const char* TVISelectedPickerView = "TVISelectedPickerView";
inline constexpr const char* TVIIsMiniViewEnabled = "TVIIsMiniViewEnabled";
inline constexpr const char* TVIEnableVibrantAppearance = "TVIEnableVibrantAppearance";

}
