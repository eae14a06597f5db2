#pragma once

#include "platform/KeyboardLayout.h"

#include <mutex>
#include <string>

struct _XDisplay;

namespace tvi {

// Key texts from the X keyboard layout in use (its active group), for shortcut texts.
// Threads: any; calls are serialised on the backend's own X connection, which nobody else uses.
// A key of the design's keyboard is the key that types its US symbol under the current layout,
// the same key a hot key on it grabs, and its text is what that key types without modifiers.
class X11KeyboardLayout : public KeyboardLayout {
public:
    static std::shared_ptr<X11KeyboardLayout> create(std::string& whyUnavailable);
    explicit X11KeyboardLayout(_XDisplay* display);
    ~X11KeyboardLayout() override;

    std::optional<std::string> characterForKeyCode(std::uint16_t keyCode) const override;

private:
    // Applies keyboard-mapping changes the server announced since the last call.
    void followMappingChanges() const;
    std::optional<std::string> layoutText(std::uint16_t keyCode) const;

    mutable std::mutex mutex_;
    _XDisplay* display_;
};

}
