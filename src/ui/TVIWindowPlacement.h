#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tvi {

// Where Telvora's windows go relative to the status item. Pure functions of global
// coordinates (y grows downwards), so that they can be tested without a screen.
class TVIWindowPlacement {
public:
    TVIWindowPlacement() = delete;

    // Gap between the status item and the about window.
    static constexpr int kAboutGap = 5;

    // The about window's top-left point: centred under the icon with its top edge kAboutGap below
    // the icon, or above it (bottom edge kAboutGap above the icon) when the icon sits in the lower
    // half of the screen. Without an icon rectangle the window is centred on the screen. The
    // result always lies inside `screen` as far as the window fits.
    static QPoint aboutWindowOrigin(const QRect& icon, const QSize& window, const QRect& screen);

    // The popover's frame: hung from the icon's edge that faces the screen's centre (under a
    // panel at the top, above one at the bottom, beside a vertical one), centred on the icon.
    // Without an icon rectangle it hangs from the pointer. Always clamped into `available`.
    static QRect popoverFrame(const QRect& icon, const QSize& size, const QRect& available, const QPoint& pointer);

    // Moves `frame` into `area` as far as it fits (its top-left stays inside when it is larger).
    static QRect clampedInto(const QRect& frame, const QRect& area);

    // The top-left point that centres a window of `size` on the primary screen's available area
    // (the one function here that asks the screen); the origin when there is no screen.
    static QPoint centredOnPrimaryScreen(const QSize& size);
};

}
