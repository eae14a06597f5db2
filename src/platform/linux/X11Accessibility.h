#pragma once

#include "platform/Accessibility.h"

#include <memory>
#include <string>

namespace tvi {

// X11 lets any client read the focus and post input: there is nothing to grant. A Wayland
// session does not, and no grant would help, so it answers untrusted there; the prompt
// becomes the hint that an X11 session is needed (WaylandSessionHint).
//
// Threading: callable from any thread; with `prompt`, the main thread only.
class X11Accessibility : public Accessibility {
public:
    // Always available: the answer itself tells X11 from Wayland.
    static std::shared_ptr<X11Accessibility> create(std::string& whyUnavailable);

    bool hasTrustQueryWithOptions() const override;
    bool isProcessTrusted(bool prompt) override;
    bool isAccessibilityApiEnabled() const override;
    // There is no system scripting bridge to open settings with: false, nothing is run.
    bool runScript(const std::string& source) override;
    // Nothing to run: empty.
    std::string settingsScript() const override;
    // Nothing posts a change of the grant on Linux; a name of our own keeps the observation
    // harmless.
    std::string changeNotificationName() const override;

    // WAYLAND_DISPLAY set, or XDG_SESSION_TYPE "wayland".
    static bool isWaylandSession();
};

}
