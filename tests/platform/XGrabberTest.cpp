#include "platform/linux/XGrabber.h"

#include <gtest/gtest.h>

using W = XGrabber::Window;

TEST(XGrabberMask, MarkedWindowsAreMaskedExceptWhereWindowsAboveCoverThem)
{
    const QRect screen(0, 0, 1920, 1080);
    const QRect app(100, 100, 400, 300);
    const QRect editor(300, 200, 400, 300); // overlaps the app's lower right

    // Nothing marked: nothing to black out.
    EXPECT_TRUE(XGrabber::maskRegion({W{app, false}, W{editor, false}}, screen).isEmpty());
    // Marked and on top: all of it, also over the window below.
    EXPECT_EQ(XGrabber::maskRegion({W{editor, false}, W{app, true}}, screen), QRegion(app));
    // Marked but partly covered by a window above: only what shows of it.
    EXPECT_EQ(XGrabber::maskRegion({W{app, true}, W{editor, false}}, screen), QRegion(app) - QRegion(editor));
    // Two marked windows, the lower one partly covered by an unmarked one.
    const QRect panel(1500, 0, 300, 80);
    EXPECT_EQ(XGrabber::maskRegion({W{app, true}, W{editor, false}, W{panel, true}}, screen),
              (QRegion(app) - QRegion(editor)) + QRegion(panel));
}

TEST(XGrabberMask, RegionIsClippedToTheGrabbedOutputAndInItsCoordinates)
{
    // A second monitor right of the first; the marked window straddles both.
    const QRect right(1920, 0, 1280, 1024);
    const QRect straddling(1800, 50, 300, 200);
    EXPECT_EQ(XGrabber::maskRegion({W{straddling, true}}, right), QRegion(0, 50, 180, 200));
    EXPECT_TRUE(XGrabber::maskRegion({W{QRect(0, 0, 100, 100), true}}, right).isEmpty());
}
