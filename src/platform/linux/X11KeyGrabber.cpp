#include "platform/linux/X11KeyGrabber.h"

#include "platform/HotKeys.h"
#include "platform/linux/X11ErrorTrap.h"
#include "platform/linux/X11KeySymbols.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>

namespace tvi {

X11KeyGrabber::X11KeyGrabber(_XDisplay* display) : display_(display) { refreshLockMasks(); }

unsigned int X11KeyGrabber::modifiersForCarbon(std::uint32_t carbonModifiers)
{
    unsigned int mask = 0;
    if (carbonModifiers & cmdKey) mask |= Mod4Mask;
    if (carbonModifiers & controlKey) mask |= ControlMask;
    if (carbonModifiers & optionKey) mask |= Mod1Mask;
    if (carbonModifiers & shiftKey) mask |= ShiftMask;
    return mask;
}

unsigned int X11KeyGrabber::significantModifiers(unsigned int state)
{
    return state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
}

unsigned int X11KeyGrabber::keyCodeFor(std::uint16_t macKeyCode) const
{
    std::optional<std::uint32_t> symbol = X11KeySymbols::keySymFor(macKeyCode);
    if (!symbol) return 0;
    return XKeysymToKeycode(display_, *symbol);
}

void X11KeyGrabber::refreshLockMasks()
{
    numLockMask_ = 0;
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (!map) return;
    const KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
    for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            if (map->modifiermap[modifier * map->max_keypermod + k] == numLock) numLockMask_ = 1u << modifier;
        }
    }
    XFreeModifiermap(map);
}

std::vector<unsigned int> X11KeyGrabber::lockVariants() const
{
    std::vector<unsigned int> variants{0, LockMask};
    if (numLockMask_ != 0 && numLockMask_ != LockMask) {
        variants.push_back(numLockMask_);
        variants.push_back(numLockMask_ | LockMask);
    }
    return variants;
}

int X11KeyGrabber::grab(unsigned int keyCode, unsigned int modifiers)
{
    const Window root = DefaultRootWindow(display_);
    std::vector<unsigned int> granted;
    for (unsigned int lock : lockVariants()) {
        X11ErrorTrap trap(display_);
        XGrabKey(display_, static_cast<int>(keyCode), modifiers | lock, root, False, GrabModeAsync, GrabModeAsync);
        if (int error = trap.check()) {
            for (unsigned int undo : granted) XUngrabKey(display_, static_cast<int>(keyCode), modifiers | undo, root);
            XSync(display_, False);
            return error;
        }
        granted.push_back(lock);
    }
    return 0;
}

void X11KeyGrabber::ungrab(unsigned int keyCode, unsigned int modifiers)
{
    const Window root = DefaultRootWindow(display_);
    X11ErrorTrap trap(display_);
    for (unsigned int lock : lockVariants()) XUngrabKey(display_, static_cast<int>(keyCode), modifiers | lock, root);
    trap.check();
}

}
