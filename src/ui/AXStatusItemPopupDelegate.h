#pragma once

namespace tvi {

// Observer of the status item's popover (the contacts view). Every callback is optional: the
// defaults allow opening and closing and do nothing else. Main thread.
class AXStatusItemPopupDelegate {
public:
    virtual ~AXStatusItemPopupDelegate() = default;

    // False vetoes opening.
    virtual bool shouldPopupOpen() { return true; }
    virtual void popupWillOpen() {}
    virtual void popupDidOpen() {}
    // False vetoes closing, whatever asked for it (a click elsewhere included).
    virtual bool shouldPopupClose() { return true; }
    virtual void popupWillClose() {}
    virtual void popupDidClose() {}
};

}
