#include "platform/linux/X11Accessibility.h"

#include "platform/linux/WaylandSessionHint.h"

#include <cstdlib>
#include <cstring>

namespace tvi {

std::shared_ptr<X11Accessibility> X11Accessibility::create(std::string& whyUnavailable)
{
    (void)whyUnavailable;
    return std::make_shared<X11Accessibility>();
}

bool X11Accessibility::hasTrustQueryWithOptions() const { return true; }

bool X11Accessibility::isProcessTrusted(bool prompt)
{
    if (!isWaylandSession()) return true;
    // No grant would help: what the person can do is choose an X11 session.
    if (prompt) WaylandSessionHint::show();
    return false;
}

bool X11Accessibility::isAccessibilityApiEnabled() const { return !isWaylandSession(); }

bool X11Accessibility::runScript(const std::string& source)
{
    (void)source;
    return false;
}

bool X11Accessibility::isWaylandSession()
{
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    if (waylandDisplay && *waylandDisplay) return true;
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    return sessionType && std::strcmp(sessionType, "wayland") == 0;
}

std::string X11Accessibility::settingsScript() const
{
    return {};
}

std::string X11Accessibility::changeNotificationName() const
{
    return "com.orvella.Telvora.accessibilityChanged";
}

}
