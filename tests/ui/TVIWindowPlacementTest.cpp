// Where the about window and the popover go relative to the tray icon, on a 1280x800 screen
// whose panel is 24 pixels high at the top or the bottom (or 24 wide at a side).
#include "ui/TVIWindowPlacement.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

const QRect kScreen(0, 0, 1280, 800);
const QSize kAbout(420, 300);

TEST(TVIWindowPlacementTest, AboutHangsFivePixelsUnderAnIconAtTheTopCentredOnIt)
{
    const QRect icon(600, 1, 22, 22); // bottom row 22
    const QPoint origin = TVIWindowPlacement::aboutWindowOrigin(icon, kAbout, kScreen);
    EXPECT_EQ(origin, QPoint(600 + 11 - 210, 23 + 5));
}

TEST(TVIWindowPlacementTest, AboutStandsFivePixelsAboveAnIconAtTheBottom)
{
    const QRect icon(600, 777, 22, 22);
    const QPoint origin = TVIWindowPlacement::aboutWindowOrigin(icon, kAbout, kScreen);
    EXPECT_EQ(origin.y() + kAbout.height() + 5, 777);
    EXPECT_EQ(origin.x(), 401);
}

TEST(TVIWindowPlacementTest, AboutStaysInsideTheScreenNearItsEdgesAndOnASecondScreen)
{
    // An icon in the top-right corner: the window moves left to the screen's edge.
    EXPECT_EQ(TVIWindowPlacement::aboutWindowOrigin(QRect(1257, 1, 22, 22), kAbout, kScreen), QPoint(860, 28));
    // Top-left corner.
    EXPECT_EQ(TVIWindowPlacement::aboutWindowOrigin(QRect(2, 1, 22, 22), kAbout, kScreen), QPoint(0, 28));
    // A second screen to the right, with its own origin.
    const QRect second(1280, 0, 1920, 1080);
    EXPECT_EQ(TVIWindowPlacement::aboutWindowOrigin(QRect(3170, 1, 22, 22), kAbout, second), QPoint(2780, 28));
    // A window larger than the screen keeps its top-left corner on the screen.
    EXPECT_EQ(TVIWindowPlacement::aboutWindowOrigin(QRect(600, 1, 22, 22), QSize(2000, 1000), kScreen), QPoint(0, 0));
}

TEST(TVIWindowPlacementTest, AboutWithoutAnIconRectangleIsCentredOnTheScreen)
{
    EXPECT_EQ(TVIWindowPlacement::aboutWindowOrigin(QRect(), kAbout, kScreen), QPoint(430, 250));
}

TEST(TVIWindowPlacementTest, PopoverHangsFromTheIconOnTheSideFacingTheScreen)
{
    const QRect available(0, 24, 1280, 776);
    const QSize size(322, 38);
    // Panel at the top: under the icon, centred on it.
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(600, 1, 22, 22), size, available, {}),
              QRect(QPoint(450, 24), size));
    // Panel at the bottom: above the icon, on the available area's last row.
    const QRect bottomAvailable(0, 0, 1280, 776);
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(600, 777, 22, 22), size, bottomAvailable, {}),
              QRect(QPoint(450, 776 - 38), size));
    // Panel at the right edge: to the left of the icon, against the available area's edge.
    const QRect sideAvailable(0, 0, 1256, 800);
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(1257, 400, 22, 22), size, sideAvailable, {}),
              QRect(QPoint(1256 - 322, 411 - 19), size));
}

TEST(TVIWindowPlacementTest, PopoverIsClampedIntoTheAvailableAreaAndFollowsThePointerWithoutGeometry)
{
    const QRect available(0, 24, 1280, 776);
    const QSize size(322, 38);
    // An icon in the top-right corner: the popover ends at the screen's right edge.
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(1257, 1, 22, 22), size, available, {}),
              QRect(QPoint(1280 - 322, 24), size));
    // No geometry from the tray (a StatusNotifierItem host): under the pointer, inside the area.
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(), size, available, QPoint(640, 10)),
              QRect(QPoint(640 - 161, 24), size));
    EXPECT_EQ(TVIWindowPlacement::popoverFrame(QRect(), size, available, QPoint(5, 790)),
              QRect(QPoint(0, 790 - 38), size));
}

}
}
