// The floating surfaces on the private desktop (Xvfb + openbox), driven with
// XTest through xdotool: they take no focus, act on the first click, the
// listening pill lets clicks through, the recording panel is dragged,
// remembers where and hangs from its corner through every change, clicks in
// the surfaces' margins reach the window beneath, the margins never show black
// with or without a compositing manager, and a press held while the feed
// changes lands on its button.
#include "../platform/DesktopHelpers.h"
#include "../platform/TestWindow.h"

#include "core/Brand.h"
#include "ui/FeedRow.h"
#include "ui/HUDController.h"
#include "ui/HUDView.h"
#include "ui/NudgeView.h"
#include "ui/Nudges.h"
#include "ui/VoicePill.h"
#include "ui/ZVButton.h"
#include "ui/ZVCard.h"

#include <QApplication>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
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

QPoint topRight(const QRect& g)
{
    return {g.x() + g.width(), g.y()};
}

std::string text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// A part of a surface, in global coordinates.
QRect globalRect(const QWidget* w)
{
    return {w->mapToGlobal(QPoint(0, 0)), w->size()};
}

// Whether a compositing manager holds the default screen's selection.
bool compositorRuns()
{
    auto* native = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = native ? native->connection() : nullptr;
    if (!c)
        return false;
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.data()),
                                                          nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom),
                                                                           nullptr);
    const bool runs = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return runs;
}

// A compositing manager of the test's own on the private desktop, for as long
// as it lives.
class Compositor {
public:
    Compositor()
    {
        process_.start(QStringLiteral("xcompmgr"), {});
        ok_ = process_.waitForStarted(10000) && waitFor(compositorRuns, 30);
    }
    ~Compositor() { stop(); }
    bool ok() const { return ok_; }
    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }

private:
    QProcess process_;
    bool ok_ = false;
};

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

TEST(FloatingDesktop, RecordingPanelHangsFromItsCornerThroughChanges)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d);
    c.show(QDateTime::currentDateTimeUtc(), true);
    FloatingPanel* p = c.panel();
    ASSERT_TRUE(waitFor([&] { return exposed(p) && !p->fading(); }, 20));
    const auto corner = [&] {
        return HUDController::anchor(HUDController::parseCorner(d.value(HUDController::cornerKey).toString()),
                                     c.model().mode(), FloatingPanel::screens());
    };
    // Read from the X server: the frame hangs from the corner at the content's size.
    const auto placed = [&](const char* after) {
        const bool ok = waitFor(
            [&] {
                const QRect x = onScreen(p);
                return topRight(x) == corner() && x.size() == p->fittingSize();
            },
            20);
        EXPECT_TRUE(ok) << after << ": the frame is " << text(onScreen(p)) << ", its corner should be "
                        << corner().x() << "," << corner().y();
    };
    placed("show");
    c.model().setHearing(true);
    placed("hearing on");
    c.model().set(HUDModel::Mode::card);
    placed("the card");
    c.model().set(HUDModel::Mode::dot);
    placed("the dot");
    c.model().set(HUDModel::Mode::pill);
    placed("the pill again");

    // Dragged 200 left and 100 down by the capsule, then changed.
    const QRect pill = globalRect(c.view()->body());
    const QPoint from(pill.right() - 30, pill.center().y());
    ASSERT_TRUE(run(QStringLiteral("xdotool"),
                    {"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
                     "mousemove_relative", "--sync", "10", "5", "mousemove", "--sync", QString::number(from.x() - 200),
                     QString::number(from.y() + 100), "mouseup", "1"}));
    ASSERT_TRUE(waitFor([&] { return d.contains(HUDController::cornerKey); }, 20));
    c.model().setHearing(false);
    placed("a change after the drag");
    c.model().set(HUDModel::Mode::card);
    placed("the card after the drag");
    c.hide();
}

// A window of ours beneath everything, in white, counting the presses that reach it.
class WhiteBeneath : public QWidget {
public:
    WhiteBeneath()
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setWindowTitle("beneath the surfaces");
        // Short of the whole screen: a window manager raises a full-screen window over everything.
        setGeometry(QGuiApplication::primaryScreen()->geometry().adjusted(0, 0, 0, -30));
        show();
    }
    int presses = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST(FloatingDesktop, ClicksInTheMarginsReachTheWindowBeneath)
{
    WhiteBeneath under;
    ASSERT_TRUE(waitFor([&] { return exposed(&under); }, 20));
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d);
    c.show(QDateTime::currentDateTimeUtc(), true);
    Nudges n;
    n.show({.kind = "break", .title = "Time for a break", .buttons = {{"Later", false, {}}}});
    ASSERT_TRUE(waitFor([&] { return exposed(c.panel()) && exposed(n.panel()) && !c.panel()->fading(); }, 20));
    ASSERT_TRUE(waitFor([&] { return onScreen(c.panel()) == c.panel()->geometry(); }, 20));
    ASSERT_TRUE(waitFor([&] { return onScreen(n.panel()) == n.panel()->geometry(); }, 20));

    const QRect pill = globalRect(c.view()->body());
    const QRect card = globalRect(n.view()->card());
    const std::vector<std::pair<const char*, QPoint>> margins = {
        {"5 below the pill", {pill.center().x(), pill.bottom() + 5}},
        {"5 left of the pill", {pill.left() - 5, pill.center().y()}},
        {"the pill's rounded end", pill.topLeft() + QPoint(1, 1)},
        {"above the nudge", {card.center().x(), card.top() - 8}},
        {"below the nudge", {card.center().x(), card.bottom() + 8}},
        {"the nudge's rounded corner", card.topLeft() + QPoint(1, 1)},
    };
    for (const auto& [where, at] : margins) {
        const int before = under.presses;
        ASSERT_TRUE(click(at));
        EXPECT_TRUE(waitFor([&] { return under.presses == before + 1; }, 20)) << where;
    }
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::pill) << "no click in the margin opened the card";
    EXPECT_EQ(n.current(), "break");

    ASSERT_TRUE(click(QPoint(pill.right() - 30, pill.center().y())));
    EXPECT_TRUE(waitFor([&] { return c.model().mode() == HUDModel::Mode::card; }, 20)) << "a click on the capsule";
    n.dismiss();
    c.hide();
}

// Pixels of the screen inside `frame` and outside `painted` grown by one pixel
// (its antialiased edge) that are dark: a transparent margin shown black; -1
// when the surface itself does not show (hardly a pixel inside it differs from
// the white beneath).
int darkMarginPixels(QRect frame, const QRegion& painted)
{
    frame &= QGuiApplication::primaryScreen()->geometry(); // a nudge hangs partly above the screen
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                            .toImage();
    QRegion edge = painted;
    for (const QPoint d : {QPoint(-1, -1), QPoint(1, 1), QPoint(-1, 1), QPoint(1, -1)})
        edge += painted.translated(d);
    int dark = 0, drawn = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QPoint at = frame.topLeft() + QPoint(x, y);
            if (painted.contains(at))
                drawn += qGray(shot.pixel(x, y)) < 200;
            else if (!edge.contains(at) && qGray(shot.pixel(x, y)) < 120)
                ++dark;
        }
    return drawn < 20 ? -1 : dark;
}

QRegion roundedGlobal(const QWidget* w, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(globalRect(w)), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

TEST(FloatingDesktop, MarginsNeverShowBlackWithOrWithoutACompositor)
{
    ASSERT_FALSE(compositorRuns()) << "the private desktop runs without a compositing manager";
    WhiteBeneath under;
    ASSERT_TRUE(waitFor([&] { return exposed(&under); }, 20));
    qputenv("ZELVAN_COLOR_SCHEME", "light");
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d);
    c.show(QDateTime::currentDateTimeUtc(), true);
    Nudges n;
    n.show({.kind = "break", .title = "Time for a break", .buttons = {{"Later", false, {}}}});
    VoicePill voice;
    voice.show(true, QString(), std::nullopt);
    ASSERT_TRUE(waitFor([&] { return exposed(c.panel()) && exposed(n.panel()) && exposed(voice.panel()); }, 20));
    ASSERT_TRUE(waitFor([&] { return !c.panel()->fading() && !n.panel()->fading(); }, 20));

    const auto blackMargins = [&](const char* state) {
        struct Surface {
            const char* name;
            QWidget* window;
            std::function<QRegion()> painted;
        };
        const std::vector<Surface> surfaces = {
            {"the pill", c.panel(),
             [&] { return roundedGlobal(c.view()->body(), c.view()->body()->height() / 2.0); }},
            {"the nudge", n.panel(), [&] { return roundedGlobal(n.view()->card(), 14); }},
            {"the listening pill", voice.panel(),
             [&] { return roundedGlobal(voice.view(), voice.view()->height() / 2.0); }},
        };
        for (const Surface& s : surfaces) {
            int dark = -1;
            EXPECT_TRUE(waitFor([&] { return (dark = darkMarginPixels(s.window->geometry(), s.painted())) == 0; }, 20))
                << state << ", " << s.name << ": " << dark << " dark pixels around it in " << text(s.window->geometry());
        }
    };
    blackMargins("no compositor");
    {
        Compositor compositor;
        ASSERT_TRUE(compositor.ok());
        blackMargins("a compositor");
        compositor.stop();
        ASSERT_TRUE(waitFor([] { return !compositorRuns(); }, 30));
    }
    blackMargins("the compositor gone");
    qunsetenv("ZELVAN_COLOR_SCHEME");
    voice.hide();
    n.dismiss();
    c.hide();
}

// Without a compositor only the painted shape is drawn, so the shape must follow
// the card once its text is laid out: a nudge with a message, as a stopped
// capture shows it, is seen over the bare desktop.
TEST(FloatingDesktop, ANudgeWithAMessageShowsItsCardWithoutACompositor)
{
    ASSERT_FALSE(compositorRuns());
    qputenv("ZELVAN_COLOR_SCHEME", "light");
    Nudges n;
    n.show({.kind = "streamError",
            .priority = 3,
            .title = "Session stopped by the system",
            .message = "lost the connection to the sound server: Connection terminated\nWhat was recorded so far is "
                       "being saved.",
            .timeout = 60});
    ASSERT_TRUE(waitFor([&] { return exposed(n.panel()) && !n.panel()->fading(); }, 20));
    double light = 0;
    const auto cardShows = [&] {
        // Where the X server has the panel: Qt's own idea of an unmanaged window's
        // place can lag.
        const QRect card = QRect(onScreen(n.panel()).topLeft() + n.view()->card()->mapTo(n.panel(), QPoint(0, 0)),
                                 n.view()->card()->size())
            & QGuiApplication::primaryScreen()->geometry();
        if (card.isEmpty())
            return false;
        const QImage shot =
            QGuiApplication::primaryScreen()->grabWindow(0, card.x(), card.y(), card.width(), card.height()).toImage();
        int lit = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                lit += qGray(shot.pixel(x, y)) > 160;
        light = double(lit) / double(shot.width() * shot.height());
        return light > 0.6;
    };
    EXPECT_TRUE(waitFor(cardShows, 20)) << "share of the card's light face on screen: " << light;
    qunsetenv("ZELVAN_COLOR_SCHEME");
    n.dismiss();
}

// The front window's title changes while a button is held: the press still
// lands on its button.
TEST(FloatingDesktop, APressHeldAcrossFeedUpdatesLands)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d);
    int stops = 0;
    c.model().stop = [&] { ++stops; };
    c.show(QDateTime::currentDateTimeUtc(), true);
    c.model().set(HUDModel::Mode::card);
    FloatingPanel* p = c.panel();
    ASSERT_TRUE(waitFor([&] { return exposed(p) && !p->fading() && onScreen(p) == p->geometry(); }, 20));
    ASSERT_TRUE(waitFor([&] { return c.view()->wrapUpButton() && c.view()->wrapUpButton()->isVisible(); }, 20));

    // The press comes in right after a feed update, and two more come while it is held.
    int title = 0;
    const auto update = [&] {
        c.model().add(FeedItem::Kind::nowIn, QStringLiteral("Figma — page %1").arg(++title));
    };
    const auto shown = [&] {
        return waitFor(
            [&] {
                const auto rows = c.view()->feedRows();
                return !rows.isEmpty() && rows.front()->isVisible()
                    && static_cast<FeedRow*>(rows.front())->item().text.endsWith(QString::number(title));
            },
            20);
    };
    const auto holdAcrossUpdates = [&](const std::function<ZVButton*()>& button) {
        const QPoint at = button()->mapToGlobal(button()->rect().center());
        ASSERT_TRUE(run(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()), QString::number(at.y())}));
        update();
        ASSERT_TRUE(run(QStringLiteral("xdotool"), {"mousedown", "1"}));
        ASSERT_TRUE(shown());
        for (int i = 0; i < 2; ++i) {
            update();
            ASSERT_TRUE(shown());
        }
        ASSERT_TRUE(run(QStringLiteral("xdotool"), {"mouseup", "1"}));
    };
    holdAcrossUpdates([&] { return c.view()->wrapUpButton(); });
    EXPECT_TRUE(waitFor([&] { return stops == 1; }, 20)) << "Wrap up was pressed";
    holdAcrossUpdates([&] { return c.view()->collapseButton(); });
    EXPECT_TRUE(waitFor([&] { return c.model().mode() == HUDModel::Mode::pill; }, 20)) << "the chevron was pressed";
    c.hide();
}

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
