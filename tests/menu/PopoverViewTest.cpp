// The popover view drawn offscreen: snapshots of its states in both schemes,
// clicks on every element found by its action id, selection, folding and the
// measured height. Set ZELVAN_SNAPSHOT_DIR to keep the images for a look.
#include "MenuFixtures.h"
#include "menu/PopoverBits.h"
#include "menu/PopoverRoot.h"
#include "menu/PopoverView.h"
#include "ui/Orb.h"
#include "ui/Snapshot.h"
#include "support/TestSupport.h"
#include "ui/Transition.h"
#include "ui/ZVButton.h"
#include "ui/ZVRow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>

static const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

namespace {

QString snapshotDir()
{
    static QTemporaryDir temp;
    const QString kept = qEnvironmentVariable("ZELVAN_SNAPSHOT_DIR");
    if (!kept.isEmpty()) {
        QDir().mkpath(kept);
        return kept;
    }
    return temp.path();
}

QImage shoot(QWidget& view, bool dark, const QString& name)
{
    const QString path = snapshotDir() + "/popover-" + name + (dark ? "-dark" : "-light") + ".png";
    EXPECT_TRUE(Snapshot::png(view, dark, path)) << path.toStdString();
    return QImage(path);
}

// A press and release at the middle of `target`, delivered to whatever the
// view shows at that point, as a real click would be.
void click(QWidget& view, QWidget& target)
{
    const QPoint at = target.mapTo(&view, target.rect().center());
    QWidget* hit = view.childAt(at);
    ASSERT_NE(hit, nullptr);
    const QPointF local = hit->mapFrom(&view, at);
    QMouseEvent press(QEvent::MouseButtonPress, local, hit->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(hit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, hit->mapToGlobal(local), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(hit, &release);
}

class PopoverViewTest : public ::testing::Test {
protected:
    void SetUp() override { Orb::setSnapshot(true); }
    void TearDown() override { Orb::setSnapshot(false); }

    QTemporaryDir dir;
    QSettings store{dir.filePath("defaults.conf"), QSettings::IniFormat};
    MenuModel m{store};
    QStringList log;
};

TEST_F(PopoverViewTest, Snapshots)
{
    struct Shot {
        const char* name;
        MenuState state;
    };
    MenuState recording = busyState();
    recording.rec = MenuState::Rec::recording(3725, 4, 1, false);
    recording.attention.clear();
    recording.statusTone = ZVChip::Tone::red;
    MenuState starting;
    starting.rec = MenuState::Rec::saving();
    // Lists cut short: the count of what is left out under their rows.
    MenuState cut = busyState();
    cut.upNextMore = 99970;
    cut.projectsMore = 488;
    const Shot shots[] = {{"idle", MenuState()},   {"recording", recording}, {"busy", busyState()},
                          {"saving", starting},    {"cut", cut}};
    for (const Shot& shot : shots) {
        install(m, shot.state, log);
        m.setSelected(shot.name == std::string("busy") ? std::optional<QString>("todo.a.2") : std::nullopt);
        PopoverView view(m, false);
        for (bool dark : {false, true}) {
            const QImage image = shoot(view, dark, shot.name);
            // The card's width and the content's natural height, plus the
            // snapshot's padding, at two pixels a point.
            EXPECT_EQ(image.width(), (PopoverView::cardWidth + 48) * 2) << shot.name;
            EXPECT_EQ(image.height(), (view.measuredHeight() + 48) * 2) << shot.name;
        }
    }
}

TEST_F(PopoverViewTest, EveryElementRunsItsIdClosingOrKeptOpen)
{
    const MenuState s = busyState();
    install(m, s, log, {"q.shot"}); // a tile without an action
    PopoverView view(m, false);
    view.resize(view.sizeHint());
    view.show();

    // Ids whose click keeps the popover open; every other id closes it first.
    const QStringList keepOpen = {"upnext.toggle",  "todo.a.1.done", "todo.a.2.start", "todo.a.2.done",
                                  "todo.-.3.start", "todo.-.3.done", "wd.end"};
    for (const QString& id : idsOf(s)) {
        if (id == "q.shot")
            continue;
        auto* target = view.findChild<QWidget*>(id);
        ASSERT_NE(target, nullptr) << id.toStdString();
        log.clear();
        click(view, *target);
        const QStringList expected = keepOpen.contains(id) ? QStringList{id} : QStringList{"close", id};
        EXPECT_EQ(log, expected) << id.toStdString();
    }

    log.clear();
    auto* dead = view.findChild<QWidget*>("q.shot");
    ASSERT_NE(dead, nullptr);
    click(view, *dead);
    EXPECT_TRUE(log.isEmpty()) << "no action: not even closed";

    // A card without an open id takes no click of its own.
    auto* review = view.findChild<QWidget*>("attn.review");
    ASSERT_NE(review, nullptr);
    log.clear();
    click(view, *review);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(PopoverViewTest, TheRecordButtonRunsTheIdOfTheMomentAndIsOffWithoutOne)
{
    MenuState s;
    install(m, s, log);
    PopoverView view(m, false);
    auto* kickIn = view.findChildren<ZVButton*>().value(0);
    ASSERT_NE(kickIn, nullptr);
    EXPECT_FALSE(kickIn->isEnabled());

    s.recID = "rec";
    install(m, s, log);
    auto* button = view.findChild<ZVButton*>("rec");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    log.clear();
    button->click();
    EXPECT_EQ(log, QStringList({"close", "rec"}));
}

// While recording the controller rebuilds the menu every second. A press held
// across such a refresh, or across a change of the whole menu, still ends on
// what it began on: the click lands.
TEST_F(PopoverViewTest, APressHeldAcrossARefreshStillLands)
{
    MenuState s = busyState();
    s.rec = MenuState::Rec::recording(12, 1, 0, true);
    install(m, s, log);
    PopoverView view(m, false);
    view.resize(view.sizeHint());
    view.show();
    for (const char* id : {"rec", "upnext.toggle", "f.quit"}) {
        for (bool wholeMenu : {false, true}) {
            const std::string name = std::string(id) + (wholeMenu ? " across a new menu" : " across a tick");
            QWidget* target = view.findChild<QWidget*>(id);
            ASSERT_NE(target, nullptr) << name;
            const QPoint at = target->mapTo(&view, target->rect().center());
            QPointer<QWidget> hit = view.childAt(at);
            ASSERT_TRUE(hit) << name;
            QPointF local = hit->mapFrom(&view, at);
            QMouseEvent press(QEvent::MouseButtonPress, local, hit->mapToGlobal(local), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(hit, &press);

            s.rec.elapsed += 1;
            if (wholeMenu)
                s.status += "!";
            install(m, s, log);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

            // The release goes where the press went, or, that gone, to what is there now.
            QWidget* under = hit ? hit.data() : view.childAt(at);
            ASSERT_NE(under, nullptr) << name;
            local = under->mapFrom(&view, at);
            log.clear();
            QMouseEvent release(QEvent::MouseButtonRelease, local, under->mapToGlobal(local), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(under, &release);
            EXPECT_TRUE(log.contains(id)) << name << ": " << log.join(' ').toStdString();
            // The new menu comes in and is laid out.
            QApplication::sendPostedEvents();
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QApplication::processEvents();
        }
    }
    // The last menu shows once the presses are over.
    QStringList texts;
    for (QWidget* w : view.findChildren<QWidget*>())
        if (auto* t = dynamic_cast<PopoverBits::Text*>(w); t && t->isVisibleTo(&view))
            texts << t->text();
    EXPECT_TRUE(texts.contains(s.status.toUpper())) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("0:18")) << texts.join('|').toStdString();
}

TEST_F(PopoverViewTest, TheSelectionLightsOnlyItsElement)
{
    install(m, busyState(), log);
    PopoverView view(m, false);
    const auto lit = [&](const QString& id) -> bool {
        if (auto* b = view.findChild<ZVButton*>(id))
            return b->look().selected;
        if (auto* r = view.findChild<ZVRow*>(id))
            return r->content().selected;
        return false;
    };
    EXPECT_FALSE(lit("rec"));
    m.setSelected(QString("rec"));
    EXPECT_TRUE(lit("rec"));
    m.setSelected(QString("todo.a.2.done"));
    EXPECT_FALSE(lit("rec"));
    EXPECT_TRUE(lit("todo.a.2.done"));
    m.setSelected(QString("f.quit"));
    EXPECT_TRUE(lit("f.quit"));
    EXPECT_FALSE(lit("f.settings"));
}

TEST_F(PopoverViewTest, FoldedUpNextHidesTheToDos)
{
    install(m, busyState(), log);
    PopoverView view(m, false);
    EXPECT_NE(view.findChild<QWidget*>("todo.a.1"), nullptr);
    const int open = view.measuredHeight();
    m.setUpNextOpen(false);
    QApplication::sendPostedEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.findChild<QWidget*>("todo.a.1"), nullptr);
    EXPECT_NE(view.findChild<QWidget*>("upnext.toggle"), nullptr);
    EXPECT_LT(view.measuredHeight(), open);
}

TEST_F(PopoverViewTest, HeightIsMeasuredAndScrollsOnlyAboveTheMaximum)
{
    MenuState s;
    install(m, s, log);
    PopoverView view(m, true);
    auto* area = view.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    const int small = view.measuredHeight();
    EXPECT_EQ(m.contentHeight(), small);
    // The footer stays under the scrolled part.
    ASSERT_GT(view.footerHeight(), 0);
    EXPECT_EQ(area->height() + view.footerHeight(), small);
    EXPECT_EQ(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // A difference of half a point or less is not written back.
    m.setContentHeight(small + 0.4);
    install(m, s, log);
    EXPECT_EQ(m.contentHeight(), small + 0.4);

    MenuState tall = busyState();
    for (int i = 0; i < 30; ++i)
        tall.groups[0].items.push_back({QString("todo.x.%1").arg(i), "More work", false, std::nullopt, std::nullopt,
                                        QString("todo.x.%1.done").arg(i)});
    install(m, tall, log);
    EXPECT_GT(m.contentHeight(), PopoverView::maxHeight);
    EXPECT_EQ(area->height() + view.footerHeight(), PopoverView::maxHeight);
    EXPECT_EQ(area->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    auto* quit = view.findChild<QWidget*>("f.quit");
    ASSERT_NE(quit, nullptr);
    EXPECT_FALSE(area->isAncestorOf(quit)) << "Quit never scrolls out of sight";
}

// The entry under way on `w` or on the nearest of its ancestors, up to `top`.
PoseEffect* entryOf(QWidget* w, QWidget* top)
{
    for (; w && w != top; w = w->parentWidget())
        if (auto* e = Transition::entering(w))
            return e;
    return nullptr;
}

// What comes into an open popover moves in, the tiles shrink while held, the
// card springs in and eases out; under reduced motion only opacities change.
TEST_F(PopoverViewTest, MotionOfCardsListTilesAndTheWholePopover)
{
    for (const bool reduced : {false, true}) {
        SCOPED_TRACE(reduced ? "reduced motion" : "full motion");
        qputenv("ZELVAN_REDUCE_MOTION", reduced ? "1" : "0");
        m.setShown(false);
        MenuState s = busyState();
        s.attention.pop_back();
        install(m, s, log);
        m.setUpNextOpen(false);
        PopoverRoot root(m);
        PopoverView& view = *root.view();
        EXPECT_EQ(entryOf(view.findChild<QWidget*>("attn.route"), &view), nullptr) << "nothing moves while closed";

        m.setShown(true);
        EXPECT_TRUE(root.pose()->running());
        EXPECT_EQ(root.pose()->from(), reduced ? (Pose{0, 1, 0, 0}) : (Pose{0, 0.96, 0, 8}));

        install(m, busyState(), log); // "review" is new
        EXPECT_EQ(entryOf(view.findChild<QWidget*>("attn.route"), &view), nullptr) << "a card already shown stays";
        PoseEffect* card = entryOf(view.findChild<QWidget*>("attn.review"), &view);
        ASSERT_NE(card, nullptr);
        EXPECT_EQ(card->from(), reduced ? (Pose{0, 1, 0, 0}) : (Pose{0, 1, 1, 0})) << "slides in from the top";
        EXPECT_EQ(card->animation().duration(), Motion::spring().msecs());

        const auto leaving = [&] { return view.findChildren<QWidget*>("leaving", Qt::FindDirectChildrenOnly).size(); };
        s = busyState();
        s.attention.erase(s.attention.begin()); // "route" goes
        install(m, s, log);
        EXPECT_EQ(leaving(), 1) << "a card that goes fades out where it was";
        EXPECT_TRUE(waitFor([&] { return leaving() == 0; }, 20));

        m.setUpNextOpen(true);
        PoseEffect* list = entryOf(view.findChild<QWidget*>("todo.a.1"), &view);
        ASSERT_NE(list, nullptr) << "the unfolded list comes in";
        EXPECT_EQ(list->from().lift, reduced ? 0 : 1);
        EXPECT_TRUE(waitFor([&] { return !entryOf(view.findChild<QWidget*>("todo.a.1"), &view); }, 20));
        m.setUpNextOpen(false);
        EXPECT_EQ(leaving(), 1) << "and fades out as it folds";
        m.setUpNextOpen(true);

        auto* tile = view.findChild<QAbstractButton*>("q.pin");
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile->graphicsEffect(), nullptr) << "at rest a tile draws plainly";
        tile->setDown(true);
        emit tile->pressed();
        auto* press = qobject_cast<PoseEffect*>(tile->graphicsEffect());
        if (reduced) {
            EXPECT_EQ(press, nullptr) << "held, the tile keeps its size under reduced motion";
        } else {
            ASSERT_NE(press, nullptr);
            EXPECT_EQ(press->from().scale, 0.96);
            EXPECT_EQ(press->animation().endValue().toReal(), 0.0) << "held, the tile shrinks";
            tile->setDown(false);
            emit tile->released();
            EXPECT_EQ(press->animation().endValue().toReal(), 1.0);
            EXPECT_TRUE(waitFor([&] { return !tile->graphicsEffect(); }, 20)) << "and grows back to rest";
        }

        m.setShown(false);
        EXPECT_TRUE(root.pose()->running());
        EXPECT_EQ(root.pose()->animation().endValue().toReal(), 0.0);
        EXPECT_EQ(root.pose()->animation().duration(), reduced ? 100 : 120);
        EXPECT_TRUE(waitFor([&] { return !root.pose()->running(); }, 20));
        EXPECT_EQ(root.appearance(), 0);
    }
    qunsetenv("ZELVAN_REDUCE_MOTION");
}

} // namespace
