#include "activity/KeyPhrase.h"
#include "menu/MenuModel.h"
#include "menu/MenuState.h"
#include "platform/Wording.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "selftest/ThrowAway.h"
#include "ui/HUDModel.h"

namespace SelfTest {

void phraseChecks()
{
    const auto p1 = KeyPhrase::extract(
        QStringLiteral("so um I think their pricing page leads with the annual plan you know"));
    const auto p2 = KeyPhrase::extract(QStringLiteral("yeah okay right"));
    const auto p3 = KeyPhrase::extract(
        QStringLiteral("we should ship the leaderboard filter before the Friday release"));
    check(p1 && p1->contains(QStringLiteral("pricing page")) && !p2 && p3
              && p3->split(u' ', Qt::SkipEmptyParts).size() < 8,
          QStringLiteral("key phrases from speech, locally (filler skipped, ≤ 7 words)"),
          p1.value_or(QStringLiteral("nil")) + QStringLiteral(" | ") + p3.value_or(QStringLiteral("nil")));

    // The fold flag goes to the throw-away suite, never to the user's own store.
    auto store = ThrowAway::openSuite();
    if (!store) {
        check(false, QStringLiteral("popover checks"), QStringLiteral("the throw-away defaults suite cannot be opened"));
        return;
    }
    MenuModel m(*store);
    QStringList log;
    m.close = [&] { log << QStringLiteral("close"); };
    m.begin();
    MenuState s;
    s.recID = m.act(QStringLiteral("rec"), [&] { log << QStringLiteral("rec"); });
    s.quick = {MBtn{m.act(QStringLiteral("q.pin"), [&] { log << QStringLiteral("pin"); }), QStringLiteral("Pin")}};
    s.upNextToggle = m.act(QStringLiteral("upnext.toggle"), [&] { log << QStringLiteral("toggle"); });
    m.act(QStringLiteral("todo.x"), [&] { log << QStringLiteral("todo"); });
    s.footer = {{MBtn{m.act(QStringLiteral("f.quit"), [&] { log << QStringLiteral("quit"); }),
                      QStringLiteral("Quit Zelvan"), false, QStringLiteral("⌘Q")},
                 QStringLiteral("power")}};
    m.commit(s);

    m.setUpNextOpen(true);
    m.move(1);
    const auto k1 = m.selected();
    for (int i = 0; i < 3; ++i)
        m.move(1);
    const auto k2 = m.selected();
    m.move(1);
    m.move(1);
    const auto k3 = m.selected();
    m.setUpNextOpen(false);
    m.setSelected(QStringLiteral("upnext.toggle"));
    m.move(1);
    const auto k4 = m.selected();
    m.perform(QStringLiteral("q.pin"));
    m.perform(QStringLiteral("todo.x"), true);
    const auto shown = [](const std::optional<QString>& k) { return k.value_or(QStringLiteral("-")); };
    check(k1 == QStringLiteral("rec") && k2 == QStringLiteral("todo.x") && k3 == QStringLiteral("f.quit")
              && k4 == QStringLiteral("f.quit")
              && log == QStringList{QStringLiteral("close"), QStringLiteral("pin"), QStringLiteral("todo")},
          QStringLiteral("popover keyboard: ↓ walks the actions in visual order, folded Up next is skipped, Return "
                         "runs (menus close, rows stay)"),
          QStringList{shown(k1), shown(k2), shown(k3), shown(k4)}.join(u' ') + u' ' + quotedList(log));

    const QString dump = s.dump();
    check(dump.contains(Wording::shown(QStringLiteral("[Kick in ⌥⌘R]")))
              && dump.contains(QStringLiteral("records screen & audio"))
              && dump.contains(Wording::shown(QStringLiteral("Quit Zelvan  ⌘Q"))),
          QStringLiteral("popover state dumps as text (--dump-menu)"));

    HUDModel h;
    for (int i = 0; i <= 8; ++i)
        h.add(FeedItem::Kind::nowIn, QStringLiteral("App %1").arg(i));
    h.add(FeedItem::Kind::nowIn, QStringLiteral("App 8"));
    h.add(FeedItem::Kind::heard, QStringLiteral("  "));
    const auto& feed = h.feed();
    check(int(feed.size()) == HUDModel::keep && feed.front().text == QStringLiteral("App 8")
              && feed.back().text == QStringLiteral("App 3"),
          QStringLiteral("HUD feed: newest first, %1 rows kept, repeats and empty lines skipped").arg(HUDModel::keep));
}

} // namespace SelfTest
