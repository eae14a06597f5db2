#pragma once

#include "platform/MacKeyCodes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tvi {

struct ShortcutMenuItem;

// What the shortcut checks need to know of a menu: its items' titles and key equivalents,
// with their submenus. The user interface builds it from its menu bar.
struct ShortcutMenu {
    std::vector<ShortcutMenuItem> items;
};

struct ShortcutMenuItem {
    std::string title;
    // As the item stores it: an upper-case letter implies Shift. Empty: no key equivalent.
    std::string keyEquivalent;
    // NSEvent modifier bits; menu items default to Command.
    std::uint64_t keyEquivalentModifierMask = NSEventModifierFlagCommand;
    ShortcutMenu submenu;
};

}
