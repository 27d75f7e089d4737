// The floating surfaces on the private desktop (Xvfb + openbox), driven with XTest.
#include "../platform/DesktopHelpers.h"

#include "ui/Nudges.h"
#include "ui/ZVButton.h"


#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

QString activeWindow()
{
    QProcess p;
    p.start("xdotool", {"getactivewindow"});
    p.waitForFinished(10000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

} // namespace

TEST(FloatingDesktop, NudgeLeavesTheFocusAndActsOnTheFirstClick)
{
    QLineEdit other;
    other.setWindowTitle("someone else's editor");
    other.setGeometry(100, 300, 400, 60);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return activeWindow() == QString::number(other.winId()); }, 10));
    const QString before = activeWindow();

    Nudges n;
    int pressed = 0;
    n.show({.kind = "call", .priority = 3, .title = "Call in Zoom — kick in?", .buttons = {{"Kick in", true, [&] { ++pressed; }}}});
    ASSERT_TRUE(waitFor([&] { return n.panel() && n.panel()->isVisible() && !n.panel()->fading(); }, 10));
    waitFor([] { return false; }, 0.5); // let the window manager settle on the new window
    EXPECT_EQ(activeWindow(), before) << "showing a nudge takes no focus";

    ZVButton* b = n.view()->buttons().front();
    const QPoint c = b->mapToGlobal(b->rect().center());
    ASSERT_TRUE(run("xdotool", {"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "1"}));
    EXPECT_TRUE(waitFor([&] { return pressed == 1; }, 10)) << "the first click acts";
    EXPECT_EQ(activeWindow(), before) << "clicking a nudge takes no focus";
}
