#include "capture/TVIAccessibility.h"

#include "diagnostics/SystemLog.h"
#include "platform/Accessibility.h"
#include "platform/Platform.h"

#include <string>

namespace tvi {

bool TVIAccessibilityIsEnabled()
{
    const std::shared_ptr<Accessibility> accessibility = Platform::get<Accessibility>();
    const bool enabled = accessibility->hasTrustQueryWithOptions() ? accessibility->isProcessTrusted(false)
                                                                   : accessibility->isAccessibilityApiEnabled();
    SystemLog::write(std::string("Accessibility is: ") + (enabled ? "ENABLED" : "DISABLED"));
    return enabled;
}

void TVIAccessibilityOpenPanel()
{
    const std::shared_ptr<Accessibility> accessibility = Platform::get<Accessibility>();
    // The answers do not matter: access shows up later through the accessibility refresh.
    if (accessibility->hasTrustQueryWithOptions()) accessibility->isProcessTrusted(true);
    else accessibility->runScript(accessibility->settingsScript());
}

}
