#include "environment/TVIVibrancyUtils.h"

#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/SystemInformation.h"

namespace tvi {

bool TVIVibrancyUtils::systemSupportsVibrancy()
{
    // Every desktop backend Telvora runs on can draw translucent windows (the popover falls
    // back to an opaque background by itself where a compositor is missing), so there is
    // no older system without the visual-effect view to tell apart.
    return true;
}

std::optional<std::string> TVIVibrancyUtils::getAppleInterfaceStyle()
{
    PlistValue style = UserDefaults::standard().objectForKey("AppleInterfaceStyle");
    if (const std::string* text = style.get<std::string>()) return *text;
    return std::nullopt;
}

bool TVIVibrancyUtils::isDarkMode()
{
    return Platform::get<SystemInformation>()->isDarkMode();
}

}
