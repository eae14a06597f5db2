#pragma once

namespace tvi {

// Telvora's entry in the user's login items. Only the entry for this very bundle counts:
// a copy of Telvora at another location is neither found nor removed.
class TVIAutoLoginUtils {
public:
    TVIAutoLoginUtils() = delete;

    static void addLoginItem();
    static void removeLoginItem();
    // Adds this bundle at the top of the login items when absent (add) or removes its entry
    // when present (remove); otherwise, or when the list cannot be changed, nothing happens.
    static void loginItemAction(bool add);
};

}
