#include "diagnostics/TVICrashManager.h"

#include "diagnostics/TVICrashLogFinder.h"
#include "diagnostics/TVICrashReportKeys.h"
#include "diagnostics/TVISystemProfile.h"
#include "foundation/UserDefaults.h"

#include <fstream>
#include <iterator>

namespace tvi {

std::optional<PlistData> TVICrashManager::systemProfileAsNSData() const
{
    PlistData profile = TVISystemProfile::systemProfileAsNSData();
    if (profile.empty()) return std::nullopt;
    return profile;
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
