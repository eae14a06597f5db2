#include "ui/TVIWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

namespace tvi {
namespace {

// QRect::center() rounds down over the last row and column inside; windows centre on the middle.
QPoint middle(const QRect& rect) { return {rect.x() + rect.width() / 2, rect.y() + rect.height() / 2}; }

}

QPoint TVIWindowPlacement::centredOnPrimaryScreen(const QSize& size)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    QRect frame(QPoint(), size);
    frame.moveCenter(screen->availableGeometry().center());
    return frame.topLeft();
}

QRect TVIWindowPlacement::clampedInto(const QRect& frame, const QRect& area)
{
    QRect result = frame;
    // Right and bottom first, so that a frame larger than the area keeps its top-left inside.
    if (result.right() > area.right()) result.moveRight(area.right());
    if (result.bottom() > area.bottom()) result.moveBottom(area.bottom());
    if (result.left() < area.left()) result.moveLeft(area.left());
    if (result.top() < area.top()) result.moveTop(area.top());
    return result;
}

QPoint TVIWindowPlacement::aboutWindowOrigin(const QRect& icon, const QSize& window, const QRect& screen)
{
    if (icon.isEmpty()) {
        const QRect centred(middle(screen) - QPoint(window.width() / 2, window.height() / 2), window);
        return clampedInto(centred, screen).topLeft();
    }
    const int x = icon.x() + icon.width() / 2 - window.width() / 2;
    const bool trayAtBottom = middle(icon).y() > middle(screen).y();
    // QRect's bottom() is the last row inside: the row below it is bottom() + 1.
    const int y = trayAtBottom ? icon.top() - kAboutGap - window.height() : icon.bottom() + 1 + kAboutGap;
    return clampedInto(QRect(QPoint(x, y), window), screen).topLeft();
}

QRect TVIWindowPlacement::popoverFrame(const QRect& icon, const QSize& size, const QRect& available,
                                       const QPoint& pointer)
{
    const QRect anchor = icon.isEmpty() ? QRect(pointer, QSize(1, 1)) : icon;
    const QPoint offset = middle(anchor) - middle(available);
    QRect frame(QPoint(0, 0), size);
    // A panel along a side edge lies far more to the side than up or down.
    const bool sidePanel = !icon.isEmpty() && std::abs(offset.x()) * available.height() >
                                                  std::abs(offset.y()) * available.width();
    if (sidePanel) {
        frame.moveTop(middle(anchor).y() - size.height() / 2);
        if (offset.x() > 0) frame.moveRight(anchor.left() - 1);
        else frame.moveLeft(anchor.right() + 1);
    } else {
        frame.moveLeft(middle(anchor).x() - size.width() / 2);
        if (offset.y() > 0) frame.moveBottom(anchor.top() - 1);
        else frame.moveTop(anchor.bottom() + 1);
    }
    return clampedInto(frame, available);
}

}
