// The floating surfaces on the private desktop (Xvfb + openbox), driven with
// XTest through xdotool: they take no focus, act on the first click, the
// listening pill lets clicks through, and the recording panel is dragged and
// remembers where.
#include "../platform/DesktopHelpers.h"
#include "../platform/TestWindow.h"

#include "core/Brand.h"
#include "ui/HUDController.h"
#include "ui/HUDView.h"
#include "ui/NudgeView.h"
#include "ui/Nudges.h"
#include "ui/VoicePill.h"
#include "ui/ZVButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

QString output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(20000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

QString activeWindow()
{
    return output(QStringLiteral("xdotool"), {"getactivewindow"});
}

// No --sync: it waits for a move that never comes when the pointer is there
// already. XTest's move and click reach the server in order anyway.
bool click(QPoint at)
{
    return run(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// The window's place on the X screen, as the X server has it.
QRect onScreen(QWidget* w)
{
    const QString info = output(QStringLiteral("xwininfo"), {"-id", QString::number(w->winId())});
    const auto field = [&](const char* name) {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
        return re.match(info).captured(1).toInt();
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
}

bool exposed(QWidget* w)
{
    return w && w->windowHandle() && w->windowHandle()->isExposed();
}

// Someone else's window with the keyboard focus: a process of its own.
class OtherAppFocused : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(other.ok());
        ASSERT_TRUE(run(QStringLiteral("xdotool"), {"windowactivate", "--sync", other.id()}));
        ASSERT_TRUE(waitFor([&] { return activeWindow() == other.id(); }, 20));
    }

    TestWindow other{QStringLiteral("someone else's editor")};
};

TEST_F(OtherAppFocused, NudgeTakesNoFocusAndItsButtonActsOnTheFirstClick)
{
    Nudges n;
    int pressed = 0;
    n.show({.kind = "call",
            .priority = 3,
            .icon = "●",
            .title = "Call in Zoom — kick in?",
            .buttons = {{"Not now", false, {}}, {"Kick in", true, [&] { ++pressed; }}}});
    ASSERT_TRUE(waitFor([&] { return exposed(n.panel()) && !n.panel()->fading(); }, 20));
    // Where it was put, not moved by the window manager.
    ASSERT_TRUE(waitFor([&] { return onScreen(n.panel()) == n.panel()->geometry(); }, 20));
    // Whatever the window manager does with a new window, it has done by now.
    run(QStringLiteral("xdotool"), {"sleep", "0.5"});
    EXPECT_EQ(activeWindow(), other.id()) << "showing a nudge takes no focus";

    ZVButton* kickIn = n.view()->buttons().back();
    ASSERT_TRUE(click(onScreen(n.panel()).topLeft() + kickIn->mapTo(n.panel(), kickIn->rect().center())));
    EXPECT_TRUE(waitFor([&] { return pressed == 1; }, 20)) << "the first click acts";
    EXPECT_FALSE(n.current()) << "the button dismissed the nudge";
    EXPECT_EQ(activeWindow(), other.id()) << "clicking a nudge takes no focus";
}

TEST_F(OtherAppFocused, RecordingPanelIsDraggedAndOpensWhereItWasLeft)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    QPoint dropped;
    {
        HUDController c(d);
        c.show(QDateTime::currentDateTimeUtc(), true);
        FloatingPanel* p = c.panel();
        ASSERT_TRUE(waitFor([&] { return exposed(p) && !p->fading(); }, 20));
        ASSERT_TRUE(waitFor([&] { return onScreen(p) == p->geometry(); }, 20));
        EXPECT_EQ(activeWindow(), other.id()) << "showing the panel takes no focus";

        // Press on the pill's body, away from the orb, and drag 300 left, 200 down.
        const QRect g = p->geometry();
        const QPoint from(g.right() - 40, g.center().y());
        ASSERT_TRUE(run(QStringLiteral("xdotool"),
                        {"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
                         "mousemove_relative", "--sync", "10", "5", "mousemove", "--sync",
                         QString::number(from.x() - 300), QString::number(from.y() + 200), "mouseup", "1"}));
        ASSERT_TRUE(waitFor([&] { return d.contains(HUDController::cornerKey); }, 20)) << "a drag stores the corner";
        const auto corner = HUDController::parseCorner(d.value(HUDController::cornerKey).toString());
        ASSERT_TRUE(corner);
        const QRect moved = p->geometry();
        EXPECT_EQ(*corner, QPoint(moved.x() + moved.width(), moved.y()));
        EXPECT_NEAR(corner->x(), g.x() + g.width() - 300, 2);
        EXPECT_NEAR(corner->y(), g.y() + 200, 2);
        EXPECT_EQ(c.model().mode(), HUDModel::Mode::pill) << "a drag is not a tap";
        EXPECT_EQ(activeWindow(), other.id()) << "dragging the panel takes no focus";
        dropped = *corner;

        // A plain click on the body opens the card at once.
        ASSERT_TRUE(click(QPoint(moved.right() - 40, moved.center().y())));
        EXPECT_TRUE(waitFor([&] { return c.model().mode() == HUDModel::Mode::card; }, 20));
        c.hide();
    }

    // The next session, in a new run: the panel hangs from the dropped corner.
    HUDController next(d);
    next.show(QDateTime::currentDateTimeUtc(), true);
    ASSERT_TRUE(waitFor([&] { return exposed(next.panel()); }, 20));
    const QRect g = next.panel()->geometry();
    EXPECT_EQ(QPoint(g.x() + g.width(), g.y()), dropped);
    EXPECT_EQ(next.model().mode(), HUDModel::Mode::pill) << "the card is never remembered";
}

// A window of ours under the pill, in a colour of its own, counting the
// presses that reach it.
class Beneath : public QWidget {
public:
    static inline const QColor colour{0xFF, 0x00, 0xFF};
    int presses = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour); }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST(FloatingDesktop, ClicksPassThroughTheListeningPill)
{
    VoicePill pill;
    pill.show(true, QString(), std::nullopt);
    ASSERT_TRUE(waitFor([&] { return exposed(pill.panel()); }, 20));
    const QRect at = pill.panel()->geometry();

    Beneath under;
    under.setWindowFlag(Qt::FramelessWindowHint);
    under.setWindowTitle("beneath the pill");
    under.setGeometry(at.adjusted(-60, 0, 60, 40));
    under.show();
    ASSERT_TRUE(waitFor([&] { return exposed(&under) && under.geometry().contains(at.center()); }, 20));
    pill.show(true, QString(), std::nullopt);

    // On the capsule's dark end, left of the dot: the pill is what shows there.
    const QPoint spot(at.left() + 7, at.center().y());
    const auto shown = [&] {
        return QGuiApplication::primaryScreen()->grabWindow(0, spot.x(), spot.y(), 1, 1).toImage().pixelColor(0, 0);
    };
    ASSERT_TRUE(waitFor([&] { return shown().rgb() == Brand::bg().rgb(); }, 20)) << shown().name().toStdString();

    ASSERT_TRUE(click(spot));
    EXPECT_TRUE(waitFor([&] { return under.presses == 1; }, 20)) << "the click reached the window beneath";
}

} // namespace
