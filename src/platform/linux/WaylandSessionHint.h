#pragma once

namespace tvi {

// In a Wayland session X11 grabs see only the keys typed into X11 windows, and no X11 client
// can copy from the others: the call-control shortcuts and the make-call copy cannot work.
// The log says so at every start; the person is told once per installation, with how to
// choose an X11 session at login.
class WaylandSessionHint {
public:
    // The user-defaults key that remembers that the alert was shown.
    static constexpr const char* kShownKey = "TVIWaylandHintShown";

    WaylandSessionHint() = delete;

    // Logs the Warning and, unless it was shown before, shows the alert (main thread; returns
    // once it is dismissed).
    static void show();
};

}
