#pragma once

// The user-defaults keys of the crash reports: the crash manager reads them below the
// application, which writes them (app/TVIPreferenceKeys.h names them with the others).
namespace tvi {

inline constexpr const char* TVICheckForCrashesAtStartup = "TVICheckForCrashesAtStartup";
inline constexpr const char* TVICrashLogLastSubmitedDate = "TVICrashLogLastSubmitedDate";

}
