#pragma once

#include "diagnostics/TVICrashReportKeys.h"

// The user-defaults keys of Telvora's own, one constant per key.
namespace tvi {

inline constexpr const char* MASPrefKeyMakeCallShortcut = "TVIMakeCallShortcut";
inline constexpr const char* MASPrefKeyCancelActionShortcut = "TVICancelActionShortcut";
inline constexpr const char* MASPrefKeyAnswerCallShortcut = "TVIAnswerCallShortcut";
inline constexpr const char* MASPrefKeyClearConnectionShortcut = "TVIClearConnectionShortcut";
inline constexpr const char* MASPrefKeyDeflectCallShortcut = "TVIDeflectCallShortcut";
inline constexpr const char* MASPrefKeyHoldCallShortcut = "TVIHoldCallShortcut";
inline constexpr const char* MASPrefKeyRetrieveCallShortcut = "TVIRetrieveCallShortcut";
inline constexpr const char* MASPrefKeyTransferCallShortcut = "TVITransferCallShortcut";

inline constexpr const char* MASPrefKeyMakeCallShortcutEnabled = "TVIMakeCallShortcutEnabled";
inline constexpr const char* MASPrefKeyCancelActionShortcutEnabled = "TVICancelActionShortcutEnabled";
inline constexpr const char* MASPrefKeyAnswerCallShortcutEnabled = "TVIAnswerCallShortcutEnabled";
inline constexpr const char* MASPrefKeyClearConnectionShortcutEnabled = "TVIClearConnectionShortcutEnabled";
inline constexpr const char* MASPrefKeyDeflectCallShortcutEnabled = "TVIDeflectCallShortcutEnabled";
inline constexpr const char* MASPrefKeyHoldCallShortcutEnabled = "TVIHoldCallShortcutEnabled";
inline constexpr const char* MASPrefKeyRetrieveCallShortcutEnabled = "TVIRetrieveCallShortcutEnabled";
inline constexpr const char* MASPrefKeyTransferCallShortcutEnabled = "TVITransferCallShortcutEnabled";

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
