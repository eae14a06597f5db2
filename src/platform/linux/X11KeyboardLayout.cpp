#include "platform/linux/X11KeyboardLayout.h"

#include "platform/linux/X11Connection.h"
#include "platform/linux/X11ErrorTrap.h"
#include "platform/linux/X11KeySymbols.h"
#include "platform/MacKeyCodes.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <map>

namespace tvi {

namespace {

// Keys that type no character answer the control characters the shortcut texts expect for
// them, whatever the layout.
const std::map<std::uint16_t, std::string>& fixedTexts()
{
    static const std::map<std::uint16_t, std::string> texts{
        {kVK_Return, "\r"}, {kVK_Tab, "\t"}, {kVK_Delete, "\x08"}, {kVK_Escape, "\x1B"},
        {kVK_ForwardDelete, "\x7F"}, {kVK_Home, "\x01"}, {kVK_End, "\x04"}, {kVK_PageUp, "\x0B"},
        {kVK_PageDown, "\x0C"}, {kVK_Help, "\x05"}, {kVK_LeftArrow, "\x1C"}, {kVK_RightArrow, "\x1D"},
        {kVK_UpArrow, "\x1E"}, {kVK_DownArrow, "\x1F"}, {kVK_ANSI_KeypadClear, "\x1B"},
        {kVK_ANSI_KeypadEnter, "\x03"},
        {kVK_F1, "\x10"}, {kVK_F2, "\x10"}, {kVK_F3, "\x10"}, {kVK_F4, "\x10"}, {kVK_F5, "\x10"},
        {kVK_F6, "\x10"}, {kVK_F7, "\x10"}, {kVK_F8, "\x10"}, {kVK_F9, "\x10"}, {kVK_F10, "\x10"},
        {kVK_F11, "\x10"}, {kVK_F12, "\x10"}, {kVK_F13, "\x10"}, {kVK_F14, "\x10"}, {kVK_F15, "\x10"},
        {kVK_F16, "\x10"}, {kVK_F17, "\x10"}, {kVK_F18, "\x10"}, {kVK_F19, "\x10"}, {kVK_F20, "\x10"},
        {kVK_Command, ""}, {kVK_RightCommand, ""}, {kVK_Shift, ""}, {kVK_RightShift, ""}, {kVK_Option, ""},
        {kVK_RightOption, ""}, {kVK_Control, ""}, {kVK_RightControl, ""}, {kVK_CapsLock, ""},
        {kVK_Function, ""}, {kVK_VolumeUp, ""}, {kVK_VolumeDown, ""}, {kVK_Mute, ""},
    };
    return texts;
}

// A dead key shows its accent on the key cap, not a pending composition.
KeySym spacingAccent(KeySym symbol)
{
    static const std::map<KeySym, KeySym> accents{
        {XK_dead_grave, XK_grave}, {XK_dead_acute, XK_acute}, {XK_dead_circumflex, XK_asciicircum},
        {XK_dead_tilde, XK_asciitilde}, {XK_dead_macron, XK_macron}, {XK_dead_breve, XK_breve},
        {XK_dead_abovedot, XK_abovedot}, {XK_dead_diaeresis, XK_diaeresis}, {XK_dead_abovering, XK_degree},
        {XK_dead_doubleacute, XK_doubleacute}, {XK_dead_caron, XK_caron}, {XK_dead_cedilla, XK_cedilla},
        {XK_dead_ogonek, XK_ogonek},
    };
    auto found = accents.find(symbol);
    return found == accents.end() ? symbol : found->second;
}

}

std::shared_ptr<X11KeyboardLayout> X11KeyboardLayout::create(std::string& whyUnavailable)
{
    Display* display = X11Connection::open(whyUnavailable);
    if (!display) return nullptr;
    return std::make_shared<X11KeyboardLayout>(display);
}

X11KeyboardLayout::X11KeyboardLayout(_XDisplay* display) : display_(display) {}

X11KeyboardLayout::~X11KeyboardLayout() { X11Connection::close(display_); }

void X11KeyboardLayout::followMappingChanges() const
{
    // Nothing is selected on this connection: what arrives is the server's mapping news.
    while (!X11ErrorTrap::connectionLost(display_) && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }
}

std::optional<std::string> X11KeyboardLayout::characterForKeyCode(std::uint16_t keyCode) const
{
    if (auto fixed = fixedTexts().find(keyCode); fixed != fixedTexts().end()) return fixed->second;
    std::lock_guard lock(mutex_);
    if (X11ErrorTrap::connectionLost(display_)) return std::nullopt;
    followMappingChanges();
    return layoutText(keyCode);
}

std::optional<std::string> X11KeyboardLayout::layoutText(std::uint16_t keyCode) const
{
    std::optional<std::uint32_t> usSymbol = X11KeySymbols::keySymFor(keyCode);
    if (!usSymbol) return std::string(); // not a key of this keyboard: it types nothing
    const KeyCode key = XKeysymToKeycode(display_, *usSymbol);
    if (key == 0) return std::nullopt;
    XkbStateRec state{};
    const unsigned int group = XkbGetState(display_, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    KeySym symbol = XkbKeycodeToKeysym(display_, key, static_cast<int>(group), 0);
    if (symbol == NoSymbol) symbol = XkbKeycodeToKeysym(display_, key, 0, 0);
    if (symbol == NoSymbol) return std::nullopt;
    char text[16] = {};
    const int length = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(spacingAccent(symbol)), text, sizeof text);
    if (length <= 0) return std::string();
    return std::string(text); // the length counts the terminating NUL
}

}
