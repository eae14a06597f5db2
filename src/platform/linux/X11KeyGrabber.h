#pragma once

#include <cstdint>
#include <vector>

struct _XDisplay;

namespace tvi {

// Passive key grabs on the root window of one connection, made and undone on its owner thread.
// A combination is grabbed once per lock state (none, CapsLock, NumLock, both), since X matches
// the whole modifier state and a lit NumLock would otherwise disable every hot key.
class X11KeyGrabber {
public:
    explicit X11KeyGrabber(_XDisplay* display);

    // Command → Super (Mod4), Control → Control, Option → Alt (Mod1), Shift → Shift.
    static unsigned int modifiersForCarbon(std::uint32_t carbonModifiers);
    // The part of an event's state a combination is matched against.
    static unsigned int significantModifiers(unsigned int state);

    // The X key code that types the key's symbol under the current layout; 0 when none does.
    unsigned int keyCodeFor(std::uint16_t macKeyCode) const;
    // Reads the modifier mapping again (which modifier NumLock sets may change).
    void refreshLockMasks();

    // Grabs every lock variant. On failure undoes the variants that succeeded and answers the
    // X error code of the refused one (BadAccess: another client holds it); 0 on success.
    int grab(unsigned int keyCode, unsigned int modifiers);
    void ungrab(unsigned int keyCode, unsigned int modifiers);

private:
    std::vector<unsigned int> lockVariants() const;

    _XDisplay* display_;
    unsigned int numLockMask_ = 0;
};

}
