// The floating surfaces' logic, offscreen: the nudge presenter's rules, the
// recording panel's feed and placement, the listening pill's hide timer.
#include "core/Brand.h"
#include "ui/HUDController.h"
#include "ui/HUDModel.h"
#include "ui/HUDView.h"
#include "ui/NudgeView.h"
#include "ui/Nudges.h"
#include "ui/PaintButton.h"
#include "ui/VoicePill.h"
#include "ui/Orb.h"
#include "ui/PalText.h"
#include "ui/ShadowEffect.h"
#include "ui/Snapshot.h"
#include "ui/Transition.h"
#include "ui/ZVButton.h"
#include "ui/ZVFont.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <map>

static const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

namespace {

// Time moved by hand.
class FakeLater : public Later {
public:
    struct Item {
        double at;
        std::function<void()> run;
        bool cancelled = false;
    };
    class H : public Handle {
    public:
        explicit H(std::shared_ptr<Item> i)
            : i_(std::move(i))
        {
        }
        void cancel() override { i_->cancelled = true; }

    private:
        std::shared_ptr<Item> i_;
    };
    std::unique_ptr<Handle> after(double seconds, std::function<void()> run) override
    {
        auto item = std::make_shared<Item>(Item{now + seconds, std::move(run)});
        items.push_back(item);
        return std::make_unique<H>(item);
    }
    void advance(double seconds)
    {
        now += seconds;
        for (size_t i = 0; i < items.size(); ++i) {
            auto item = items[i];
            if (!item->cancelled && item->at <= now) {
                item->cancelled = true;
                item->run();
            }
        }
    }
    double now = 0;
    std::vector<std::shared_ptr<Item>> items;
};

const std::vector<ScreenArea> oneScreen = {{QRect(0, 0, 1920, 1080), QRect(0, 30, 1920, 1050)}};

} // namespace

// Messages put their parts on lines of their own ("title\nsuggestion\ndeadline").
TEST(PalText, LineBreaksInTheTextStartNewLines)
{
    const QFont font = ZVFont::sans(13);
    EXPECT_EQ(PalText::breakLines("first\nsecond", font, 400, 0), (QStringList{"first", "second"}));
    EXPECT_EQ(PalText::breakLines("a\n\nb", font, 400, 0), (QStringList{"a", "", "b"}));
    const QStringList cut = PalText::breakLines("one\ntwo\nthree", font, 400, 2);
    ASSERT_EQ(cut.size(), 2);
    EXPECT_EQ(cut[0], "one");
    EXPECT_TRUE(cut[1].startsWith("two")) << cut[1].toStdString();
}

TEST(NudgeView, TagTable)
{
    using T = ZVChip::Tone;
    const std::map<QString, NudgeView::Tag> cases = {
        {"call", {"Call", T::red}},
        {"streamError", {"Session stopped", T::red}},
        {"route", {"Session saved", T::accent}},
        {"move", {"Move", T::silver}},
        {"tip", {"Live tip", T::amber}},
        {"upload", {"Saved on this Mac", T::amber}},
        {"wrap", {"Coach", T::silver}},
        {"", {std::nullopt, T::accent}},
        {"Call", {std::nullopt, T::accent}},
        {"todo", {std::nullopt, T::accent}},
    };
    for (const auto& [kind, tag] : cases)
        EXPECT_EQ(NudgeView::tag(kind), tag) << kind.toStdString();
}

TEST(Nudges, PrioritiesReplacementCloseAndTimeout)
{
    FakeLater later;
    Nudges n(later, [] { return oneScreen; });
    int callTimeouts = 0, routeTimeouts = 0, pressed = 0;
    n.show(
        {.kind = "call", .priority = 3, .title = "Call in Zoom", .timeout = 10, .onTimeout = [&] { ++callTimeouts; }});
    ASSERT_EQ(n.current(), "call");
    n.show({.kind = "break", .priority = 1, .title = "Time for a break"});
    n.show({.kind = "card", .priority = 2, .title = "Card"});
    EXPECT_EQ(n.current(), "call") << "lower priorities are dropped";
    n.dismissKind("route");
    EXPECT_EQ(n.current(), "call");

    n.show({.kind = "route",
            .priority = 3,
            .title = "Where does this go?",
            .buttons = {{"Personal", true, [&] { ++pressed; }}},
            .onTimeout = [&] { ++routeTimeouts; }});
    EXPECT_EQ(n.current(), "route");
    later.advance(20);
    EXPECT_EQ(callTimeouts, 0) << "a replaced nudge's time-out neither runs nor closes the new one";
    EXPECT_EQ(n.current(), "route");

    n.view()->buttons().front()->click();
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(routeTimeouts, 0);
    EXPECT_FALSE(n.current());
    EXPECT_EQ(n.priority(), 0);

    n.show({.kind = "tip", .priority = 0, .title = "Tip", .timeout = 10, .onTimeout = [&] { ++routeTimeouts; }});
    n.view()->closeControl()->click();
    EXPECT_EQ(routeTimeouts, 1) << "the close control counts as the time-out";
    later.advance(20);
    EXPECT_EQ(routeTimeouts, 1);

    n.show({.kind = "recording", .priority = 2, .title = "Recording", .timeout = 12, .onTimeout = [&] {
                ++callTimeouts;
            }});
    later.advance(11);
    EXPECT_EQ(n.current(), "recording");
    later.advance(2);
    EXPECT_EQ(callTimeouts, 1);
    EXPECT_FALSE(n.current());
    EXPECT_EQ(n.panel(), nullptr);
}

TEST(Nudges, PlacementKeepsClearOfTheRecordingPanel)
{
    const QSize size(362, 120);
    EXPECT_EQ(Nudges::place(size, oneScreen, std::nullopt), QPoint(1920 - 362 + 4, 22));
    const QRect panel(1600, 32, 300, 80); // overlaps the corner
    EXPECT_EQ(Nudges::place(size, oneScreen, panel), QPoint(1562, 32 + 80 - 8));
    EXPECT_EQ(Nudges::place(size, oneScreen, QRect(0, 500, 100, 100)), QPoint(1562, 22));
    EXPECT_FALSE(Nudges::place(size, {}, std::nullopt));
}

TEST(HUDModel, AddTrimsDropsRepeatsAndKeepsSix)
{
    HUDModel m;
    m.add(FeedItem::Kind::heard, " \n ");
    EXPECT_TRUE(m.feed().empty());
    m.add(FeedItem::Kind::heard, "  pricing ");
    m.add(FeedItem::Kind::heard, "pricing");
    ASSERT_EQ(m.feed().size(), 1u);
    EXPECT_EQ(m.feed()[0].text, "pricing");
    m.add(FeedItem::Kind::noted, "pricing");
    m.add(FeedItem::Kind::noted, "B");
    m.add(FeedItem::Kind::noted, "pricing");
    EXPECT_EQ(m.feed().size(), 4u) << "only the newest entry blocks a repeat";
    for (int i = 0; i < 8; ++i)
        m.add(FeedItem::Kind::tip, QString::number(i));
    ASSERT_EQ(m.feed().size(), size_t(HUDModel::keep));
    EXPECT_EQ(m.feed().front().text, "7");
    EXPECT_EQ(m.feed().back().text, "2");

    int calls = 0;
    m.modeChanged = [&](HUDModel::Mode) { ++calls; };
    m.set(HUDModel::Mode::card);
    m.set(HUDModel::Mode::card);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(HUDModel::modeFromName("Card"));
    EXPECT_FALSE(FeedItem::kindFromLabel("heard"));
}

TEST(HUDController, AnchorRules)
{
    using M = HUDModel::Mode;
    const std::vector<ScreenArea> two = {oneScreen[0], {QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 1000)}};
    EXPECT_EQ(HUDController::anchor(std::nullopt, M::pill, two), QPoint(1920 - 360, 32));
    EXPECT_EQ(HUDController::anchor(QPoint(3000, 400), M::card, two), QPoint(3000, 400));
    EXPECT_EQ(HUDController::anchor(QPoint(3203, 400), M::pill, two), QPoint(3203, 400)) << "3 outside is accepted";
    EXPECT_EQ(HUDController::anchor(QPoint(3205, 400), M::pill, two), QPoint(1560, 32)) << "5 outside is not";
    EXPECT_EQ(HUDController::anchor(QPoint(3000, 400), M::dot, two), QPoint(3200 + 6, 400));
    EXPECT_EQ(HUDController::anchor(std::nullopt, M::pill, {}), QPoint(-360, 2));
    EXPECT_EQ(HUDController::parseCorner("3000,400"), QPoint(3000, 400));
    for (const char* bad : {"", "garbage", "{3000, 400}", "3000", "1,2,3"})
        EXPECT_FALSE(HUDController::parseCorner(bad)) << bad;
}

TEST(HUDController, ModeIsStoredAndShownAgain)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d, [] { return oneScreen; });
    c.show(QDateTime::currentDateTimeUtc(), true);
    ASSERT_TRUE(c.panel());
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::pill);
    const QRect g = c.panel()->geometry();
    EXPECT_EQ(QPoint(g.x() + g.width(), g.y()), QPoint(1560, 32));
    c.model().set(HUDModel::Mode::card);
    EXPECT_EQ(d.value(HUDController::modeKey).toString(), "pill");
    c.model().set(HUDModel::Mode::dot);
    c.hide();
    c.show(QDateTime::currentDateTimeUtc(), false);
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::dot);
    EXPECT_FALSE(c.model().micOk());
    d.setValue(HUDController::modeKey, "Card");
    c.show(QDateTime::currentDateTimeUtc(), true);
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::pill);
}

namespace {

// Every size a window takes, as it takes it.
class Sizes : public QObject {
public:
    explicit Sizes(QWidget* w) { w->installEventFilter(this); }
    std::vector<QSize> seen;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Resize)
            seen.push_back(static_cast<QResizeEvent*>(e)->size());
        return false;
    }
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QPoint topRight(const QRect& g)
{
    return {g.x() + g.width(), g.y()};
}

} // namespace

// The panel hangs from its corner through model changes and layout switches,
// and shows no size on the way but those of the layouts it settles in; the
// clock widening the pill refits it too.
TEST(HUDController, KeepsItsCornerThroughEveryChange)
{
    FixedClock clock;
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d, [] { return oneScreen; });
    c.show(clock.now().addSecs(-599), true);
    settle();
    Sizes sizes(c.panel());
    const QPoint corner(1560, 32), dotCorner(1926, 32);
    std::vector<QSize> settled = {c.panel()->size()};
    const auto check = [&](const char* after, QPoint expected) {
        settle();
        const QRect g = c.panel()->geometry();
        EXPECT_EQ(topRight(g), expected) << after;
        EXPECT_EQ(g.size(), c.panel()->fittingSize()) << after;
        settled.push_back(g.size());
    };
    check("show", corner);
    c.model().setHearing(true);
    check("hearing", corner);
    c.model().set(HUDModel::Mode::card);
    check("the card", corner);
    c.model().add(FeedItem::Kind::nowIn, "Figma — Checkout flow");
    check("a feed entry", corner);
    c.model().set(HUDModel::Mode::dot);
    check("the dot", dotCorner);
    c.model().set(HUDModel::Mode::pill);
    check("the pill again", corner);
    EXPECT_EQ(c.panel()->size(), settled.front());
    d.setValue(HUDController::cornerKey, "1200,300"); // where a drag left it
    c.model().setHearing(false);
    check("a change after a drag", QPoint(1200, 300));

    for (const QSize& size : sizes.seen)
        EXPECT_TRUE(std::find(settled.begin(), settled.end(), size) != settled.end())
            << "an intermediate size " << size.width() << "x" << size.height();

    const int narrow = c.panel()->width();
    clock.advance(1); // 10:00
    EXPECT_TRUE(waitFor([&] { return c.panel()->width() > narrow; }, 20)) << "the wider clock refits the pill";
    EXPECT_EQ(topRight(c.panel()->geometry()), QPoint(1200, 300));
}

// Clicks in the margin around what the panel paints are not the panel's: a
// press just below the pill opens no card; one on the capsule does.
TEST(HUDController, OnlyThePaintedShapeTakesClicks)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d, [] { return oneScreen; });
    c.show(QDateTime::currentDateTimeUtc(), true);
    settle();
    FloatingPanel* p = c.panel();
    const QRect body(c.view()->body()->mapTo(p, QPoint(0, 0)), c.view()->body()->size());
    const auto tap = [&](QPoint at) {
        QMouseEvent press(QEvent::MouseButtonPress, at, p->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(p, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, p->mapToGlobal(at), Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(p, &release);
        settle();
    };
    EXPECT_FALSE(p->shape().contains(QPoint(body.center().x(), body.bottom() + 5)));
    EXPECT_FALSE(p->shape().contains(body.topLeft() + QPoint(1, 1))) << "the capsule's rounded end";
    EXPECT_TRUE(p->shape().contains(body.center()));
    tap(QPoint(body.center().x(), body.bottom() + 5));
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::pill) << "a press in the margin is no tap";
    tap(QPoint(body.right() - 30, body.center().y()));
    EXPECT_EQ(c.model().mode(), HUDModel::Mode::card);
    settle();
    const QRect card(c.view()->body()->mapTo(p, QPoint(0, 0)), c.view()->body()->size());
    EXPECT_EQ(p->shape().boundingRect(), card);
}

TEST(HUDController, ShowRightAfterHideStaysVisible)
{
    QTemporaryDir dir;
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    HUDController c(d, [] { return oneScreen; });
    c.show(QDateTime::currentDateTimeUtc(), true);
    c.hide();
    c.show(QDateTime::currentDateTimeUtc(), true);
    while (c.panel()->fading())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(c.panel()->isVisible());
    EXPECT_TRUE(c.frame());
}

TEST(VoicePill, HideTimerAndTexts)
{
    FakeLater later;
    VoicePill pill(later, [] { return oneScreen; });
    pill.show(true, "", 6.0);
    EXPECT_EQ(pill.model().shown(), "Listening…");
    EXPECT_EQ(pill.view()->dotColour(), Brand::red());
    later.advance(3);
    pill.show(false, "", 4.0);
    EXPECT_EQ(pill.model().shown(), "Didn’t catch that");
    later.advance(3.5);
    EXPECT_TRUE(pill.panel()->isVisible()) << "the first hide was cancelled";
    later.advance(1);
    EXPECT_FALSE(pill.panel()->isVisible());
    FloatingPanel* first = pill.panel();
    pill.show(true, "note buy milk", std::nullopt);
    EXPECT_EQ(pill.panel(), first);
    const QRect g = pill.panel()->geometry();
    EXPECT_EQ(g.y(), 40);
    EXPECT_NEAR(g.center().x(), 960, 1) << g.width() << " fitting " << pill.panel()->fittingSize().width();
    EXPECT_TRUE(pill.panel()->testAttribute(Qt::WA_TransparentForMouseEvents));
}

// Every layout in both schemes; set ZELVAN_SNAPSHOT_DIR to keep them for a look.
TEST(FloatingSnapshots, NudgesPanelModesAndPill)
{
    QTemporaryDir temp;
    const QString dir = qEnvironmentVariableIsSet("ZELVAN_SNAPSHOT_DIR") ? qEnvironmentVariable("ZELVAN_SNAPSHOT_DIR")
                                                                         : temp.path();
    Orb::setSnapshot(true);
    for (bool dark : {false, true}) {
        const QString s = dark ? "-dark" : "-light";
        NudgeView call("●", "Call in Zoom — kick in?", QString("Weekly sync · zoom.us"),
                       {{"Not now", false, {}}, {"Kick in", true, {}}}, false, QString("Call"), ZVChip::Tone::red, {});
        EXPECT_TRUE(Snapshot::png(call, dark, dir + "/nudge-call" + s + ".png"));
        EXPECT_EQ(call.sizeHint().width(), 330 + 32);
        NudgeView route("/", "Where does this go?", std::nullopt, {{"Acme redesign", true, {}}, {"Personal", false, {}}},
                        true, QString("Session saved"), ZVChip::Tone::accent, {});
        EXPECT_TRUE(Snapshot::png(route, dark, dir + "/nudge-route" + s + ".png"));
        EXPECT_FALSE(route.message());

        HUDModel m;
        m.setStarted(QDateTime::currentDateTimeUtc().addSecs(-75));
        HUDView view(m);
        EXPECT_EQ(view.elapsed(), "1:15");
        EXPECT_TRUE(Snapshot::png(view, dark, dir + "/hud-pill" + s + ".png"));
        m.setMode(HUDModel::Mode::card);
        ASSERT_TRUE(view.emptyText());
        EXPECT_EQ(view.statusText()->text(), "· MIC ON");
        EXPECT_TRUE(Snapshot::png(view, dark, dir + "/hud-card-empty" + s + ".png"));
        m.add(FeedItem::Kind::heard, "let's move the launch to Friday");
        m.add(FeedItem::Kind::nowIn, "Figma — Checkout flow");
        m.add(FeedItem::Kind::tip,
              "Ask who owns the pricing page before the call ends, so the follow-up has a name on it");
        m.setHearing(true);
        m.setListening(true);
        EXPECT_EQ(view.statusText()->text(), "· HEARING");
        EXPECT_EQ(view.voiceButton()->text(), "Done");
        EXPECT_EQ(view.feedRows().size(), 3);
        EXPECT_TRUE(view.emptyText()->isHidden());
        EXPECT_TRUE(Snapshot::png(view, dark, dir + "/hud-card" + s + ".png"));
        m.setMode(HUDModel::Mode::dot);
        ASSERT_TRUE(view.dot());
        EXPECT_TRUE(Snapshot::png(view, dark, dir + "/hud-dot" + s + ".png"));

        VoicePill::Model pm;
        pm.set(false, "");
        VoicePill::PillView pill(pm);
        EXPECT_EQ(pill.label()->text(), "Didn’t catch that");
        EXPECT_TRUE(Snapshot::png(pill, dark, dir + "/pill" + s + ".png"));
    }
    Orb::setSnapshot(false);
}

// A switch of layout grows out of the fixed corner and a new feed entry moves
// in from the top; a new session's layout and the first build come without
// either. Under reduced motion only the opacity changes.
TEST(HUDView, ModeSwitchesAndNewEntriesMoveUnlessMotionIsReduced)
{
    for (const bool reduced : {false, true}) {
        SCOPED_TRACE(reduced ? "reduced motion" : "full motion");
        qputenv("ZELVAN_REDUCE_MOTION", reduced ? "1" : "0");
        HUDModel m;
        HUDView view(m);
        m.setMode(HUDModel::Mode::card);
        EXPECT_EQ(Transition::entering(&view), nullptr) << "a session's stored layout just shows";
        m.add(FeedItem::Kind::heard, "first");
        ASSERT_EQ(view.feedRows().size(), 1);
        QWidget* firstRow = view.feedRows()[0];
        PoseEffect* first = Transition::entering(firstRow);
        ASSERT_NE(first, nullptr) << "an entry new to the card comes in";
        EXPECT_EQ(first->from(), reduced ? (Pose{0, 1, 0, 0}) : (Pose{0, 1, 1, 0}));
        EXPECT_EQ(first->animation().duration(), Motion::spring().msecs());
        m.add(FeedItem::Kind::nowIn, "Figma");
        ASSERT_EQ(view.feedRows().size(), 2);
        EXPECT_NE(Transition::entering(view.feedRows()[0]), nullptr);
        EXPECT_EQ(view.feedRows()[1], firstRow) << "an entry already shown stays the same row";
        EXPECT_EQ(Transition::entering(view.feedRows()[1]), first) << "and does not start moving again";

        for (int i = 0; i < HUDModel::keep; ++i)
            m.add(FeedItem::Kind::tip, QString::number(i));
        EXPECT_EQ(view.findChildren<QWidget*>("leaving", Qt::FindDirectChildrenOnly).size(), 2)
            << "the entries pushed out of the feed fade out where they were";

        m.set(HUDModel::Mode::pill);
        PoseEffect* grow = Transition::entering(&view);
        ASSERT_NE(grow, nullptr);
        EXPECT_EQ(grow->from(), reduced ? (Pose{0, 1, 0, 0}) : (Pose{0, 0.94, 0, 0}));
        EXPECT_TRUE(waitFor([&] { return !Transition::entering(&view); }, 20)) << "at rest the effect goes";
    }
    qunsetenv("ZELVAN_REDUCE_MOTION");
}

namespace {

// Paint events a widget receives.
class Paints : public QObject {
public:
    explicit Paints(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

// While recording, the card's orb moves thirty times a second: its frames
// repaint the orb alone, and neither the card's shadow nor the orb's glow is
// blurred again for them.
TEST(HUDView, OrbFramesRepaintOnlyTheOrbAndBlurNothing)
{
    qputenv("ZELVAN_REDUCE_MOTION", "0");
    HUDModel m;
    m.setMode(HUDModel::Mode::card);
    HUDView view(m);
    view.show();
    Orb* orb = view.body()->findChild<Orb*>();
    ASSERT_TRUE(orb);
    Paints buttonPaints(view.pinButton()); // clear of the orb and its glow
    ASSERT_TRUE(waitFor([&] { return orb->frames() >= 3; }, 20)) << "the orb animates " << orb->frames() << " " << orb->isVisible() << orb->animating();
    const int blurs = ShadowEffect::blurs(), buttons = buttonPaints.count;
    const int frames = orb->frames();
    ASSERT_TRUE(waitFor([&] { return orb->frames() >= frames + 10; }, 30));
    EXPECT_EQ(ShadowEffect::blurs(), blurs) << "blurred again for orb frames";
    EXPECT_LE(buttonPaints.count - buttons, 1) << "the card's buttons were painted with the orb's frames";
    qunsetenv("ZELVAN_REDUCE_MOTION");
}

// The pill's orb beside its labels: a frame of the orb draws the orb's square
// alone, so the labels are not shaped and painted again for it.
TEST(HUDView, PillOrbFramesLeaveTheLabelsAlone)
{
    qputenv("ZELVAN_REDUCE_MOTION", "0");
    HUDModel m;
    m.setMode(HUDModel::Mode::pill);
    HUDView view(m);
    view.show();
    Orb* orb = view.body()->findChild<Orb*>();
    ASSERT_TRUE(orb);
    PalText* title = nullptr;
    for (PalText* t : view.body()->findChildren<PalText*>())
        if (t->text() == QStringLiteral("Zelvan active"))
            title = t;
    ASSERT_TRUE(title);
    ASSERT_TRUE(waitFor([&] { return orb->frames() >= 3; }, 20));
    Paints titlePaints(title);
    const int frames = orb->frames();
    ASSERT_TRUE(waitFor([&] { return orb->frames() >= frames + 5; }, 30));
    EXPECT_EQ(titlePaints.count, 0) << "the title was painted with the orb's frames";
    qunsetenv("ZELVAN_REDUCE_MOTION");
}

// An orb whose picture does not change (the clock stands still, the level
// stays) draws no more frames for it.
TEST(Orb, AStillPictureDrawsNoFrames)
{
    qputenv("ZELVAN_REDUCE_MOTION", "0");
    FixedClock clock;
    for (const qreal size : {22.0, 40.0}) {
        Orb orb(size);
        orb.show();
        ASSERT_TRUE(waitFor([&] { return orb.animating() && orb.frames() >= 1; }, 20)) << size;
        const int frames = orb.frames();
        waitFor([] { return false; }, 1.0); // a second of the event loop
        EXPECT_LE(orb.frames(), frames + 1) << size << " pt: frames drawn of a picture that stood still";
        // The picture moves again: a frame comes.
        const int still = orb.frames();
        clock.advance(0.5);
        EXPECT_TRUE(waitFor([&] { return orb.frames() > still; }, 20)) << size;
    }
    qunsetenv("ZELVAN_REDUCE_MOTION");
}
