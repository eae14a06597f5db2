#include "environment/TVIGeneralUtils.h"

#include "foundation/Bundle.h"
#include "foundation/Format.h"
#include "platform/Platform.h"
#include "platform/SystemInformation.h"

namespace tvi {
namespace {

std::optional<std::string> infoString(const char* key)
{
    return Bundle::mainBundle().objectForInfoDictionaryKey(key).stringValue();
}

}

std::string TVIGeneralUtils::getCombinedVersion()
{
    return format("Version %@ (Build %@)", infoString("CFBundleShortVersionString"), infoString("CFBundleVersion"));
}

std::string TVIGeneralUtils::getCombinedVersionAlt()
{
    return format("%@ (Build %@)", infoString("CFBundleShortVersionString"), infoString("CFBundleVersion"));
}

std::string TVIGeneralUtils::checkOSXVersion()
{
    OperatingSystemVersion version = Platform::get<SystemInformation>()->operatingSystemVersion();
    return format("%d.%d.%d", version.majorVersion, version.minorVersion, version.patchVersion);
}

std::vector<std::string> TVIGeneralUtils::versions(std::string_view text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, dot - start));
        start = dot + 1;
    }
}

}
