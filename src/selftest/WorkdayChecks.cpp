#include "activity/WorkSpan.h"
#include "activity/WorkdayTracker.h"
#include "core/API.h"
#include "core/Accounts.h"
#include "core/Keychain.h"
#include "core/Paths.h"
#include "core/Privacy.h"
#include "core/Settings.h"
#include "core/Workspace.h"
#include "platform/Wording.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "selftest/ThrowAway.h"

#include <QDir>
#include <QUuid>

namespace SelfTest {

void workdayChecks(RunContext& run)
{
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1790000000, Qt::UTC);
    const QString xcode = QStringLiteral("Xcode");
    std::vector<WorkSpan> spans;
    WorkdayTracker::merge(spans, t0, xcode, QStringLiteral("a.swift"));
    WorkdayTracker::merge(spans, t0.addSecs(15), xcode, QStringLiteral("a.swift"));
    WorkdayTracker::merge(spans, t0.addSecs(30), xcode, QStringLiteral("b.swift"));
    WorkdayTracker::merge(spans, t0.addSecs(45), xcode, QStringLiteral("b.swift"));
    WorkdayTracker::merge(spans, t0.addSecs(400), xcode, QStringLiteral("b.swift"));
    check(spans.size() == 3 && spans[0].end == t0.addSecs(30) && spans[1].end == t0.addSecs(60)
              && spans[2].start == t0.addSecs(400),
          QStringLiteral("samples merge into spans; title change and idle gap split"),
          QString::number(spans.size()) + QStringLiteral(" spans"));

    const auto a = Privacy::classify(QStringLiteral("1Password"), QStringLiteral("com.1password.1password"),
                                     QStringLiteral("Vault"), true);
    const auto b = Privacy::classify(QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"),
                                     QStringLiteral("Bank — Private Browsing"), true);
    const auto c = Privacy::classify(QStringLiteral("Google Chrome"), QStringLiteral("com.google.Chrome"),
                                     QStringLiteral("Docs"), false);
    const auto d = Privacy::classify(QStringLiteral("Keychain Access"), QStringLiteral("com.apple.keychainaccess"),
                                     QStringLiteral("login"), true);
    check(a == Privacy::Result{Privacy::privateLabel, std::nullopt}
              && b == Privacy::Result{Privacy::privateLabel, std::nullopt} && d.app == Privacy::privateLabel,
          QStringLiteral("password managers and private windows → (private), no title"));
    check(c == Privacy::Result{QStringLiteral("Google Chrome"), std::nullopt},
          QStringLiteral("window titles off → app only"));

    Paths::ensure(QDir(run.out).filePath(QStringLiteral("workday")));
    const QJsonObject first = spans.empty() ? QJsonObject() : spans[0].dict();
    check(first.value(QStringLiteral("start")).isString()
              && first.value(QStringLiteral("title")) == QStringLiteral("a.swift"),
          QStringLiteral("workday span JSON {start, end, app, title}"));

    const QString suite = ThrowAway::suiteName();
    ThrowAway::removeSuite();
    auto store = ThrowAway::openSuite();
    if (!store) {
        check(false, QStringLiteral("settings checks"),
              QStringLiteral("the throw-away defaults suite cannot be opened"));
        return;
    }
    Settings s1(std::move(store));
    QStringList names;
    for (const Workspace& w : s1.workspaces())
        names << w.name;
    check(names == QStringList{QStringLiteral("Bramel"), QStringLiteral("Tovarind")} && !s1.trackWorkday()
              && s1.includeTitles() && s1.offerCalls() && !s1.autoRecordCalls() && s1.breakReminders()
              && s1.breakMinutes() == 50 && s1.workoutMinute() == 1050 && s1.wrapMinute() == 1080,
          QStringLiteral("defaults: Bramel + Tovarind, tracking off, titles on, offer calls on, auto off, breaks 50 "
                         "min, 17:30, 18:00"));

    const Workspace local(QStringLiteral("Local test"), QStringLiteral("http://127.0.0.1:7499/"));
    auto list = s1.workspaces();
    list.push_back(local);
    s1.setWorkspaces(list);
    s1.setActiveID(local.id);
    s1.setTrackWorkday(true);
    s1.setWorkoutMinute(1005);

    ThrowAway::KeyringService service;
    Settings s2(ThrowAway::openSuite());
    Accounts a2(s2);
    const auto home = a2.home();
    check(s2.workspaces().size() == 3 && home && home->base() == QStringLiteral("http://127.0.0.1:7499")
              && s2.trackWorkday() && s2.workoutMinute() == 1005,
          QStringLiteral("settings persist across instances"));

    const QString account = QStringLiteral("selftest-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString v1 = QStringLiteral("ow_k7m2q9x4");
    const QString v2 = QStringLiteral("ow_k7m2q3z8");
    ThrowAway::noteKeyringItem(account);
    Keychain::set(account, v1);
    const auto r1 = Keychain::get(account);
    Keychain::set(account, v2);
    const auto r2 = Keychain::get(account);
    Keychain::remove(account);
    const auto r3 = Keychain::get(account);
    check(r1 == v1 && r2 == v2 && !r3, Wording::shown(QStringLiteral("Keychain set / update / delete")));

    check(!a2.apiFor(s2.workspaces().front()) && a2.apiFor(local).has_value(),
          QStringLiteral("remote workspace without key is not used; localhost is"));

    ThrowAway::removeSuite();
    accountChecks(suite);
}

} // namespace SelfTest
