#include "diagnostics/TVICrashManager.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/TVICrashLogFinder.h"
#include "foundation/UserDefaults.h"

#include <fstream>
#include <iterator>

namespace tvi {

std::optional<PlistData> TVICrashManager::systemProfileAsNSData() const
{
    // The system profile is not part of this build yet: connect TVISystemProfile::systemProfileAsNSData() here.
    return std::nullopt;
}

std::vector<PlistData> TVICrashManager::crashLogData() const
{
    const PlistValue stored = UserDefaults::standard().objectForKey(TVICrashLogLastSubmitedDate);
    std::optional<PlistDate> since;
    if (const PlistDate* date = stored.get<PlistDate>()) since = *date;
    std::vector<PlistData> contents;
    for (const std::string& path : TVICrashLogFinder::findCrashLogsSince(since)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        PlistData bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) continue;
        contents.push_back(std::move(bytes));
    }
    return contents;
}

}
