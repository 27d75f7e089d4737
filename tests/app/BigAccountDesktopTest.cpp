// The real application signed in to a platform that lists 20,000 projects and
// 100,000 to-dos: it still files a session, opens its popover, stays within its
// memory and ends on SIGTERM.
#include "../platform/DesktopHelpers.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "core/WebPlatform.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/JourneyDriver.h"
#include "support/TraySlash.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QUuid>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A line of /proc/<pid>/status in MiB ("VmHWM:" the peak, "VmRSS:" now); -1 when missing.
double statusMiB(qint64 pid, const QByteArray& key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

// The app's whole footprint with its libraries, fonts and one recording (about
// 470 MiB with one project and no to-dos), with room to spare; a copy per
// project or per to-do row runs past it within seconds.
constexpr double memoryBudgetMiB = 800;

} // namespace

TEST(BigAccountDesktop, ThousandsOfProjectsAndToDosStayCheap)
{
    TempSupport support;
    PrivateKeyring keyring;
    FakePlatform platform;
    FakeWebPlatform::Options o;
    o.projects = {{"alpha", "Alpha", "owner"}};
    o.moreProjects = 20000;
    FakeWebPlatform web(platform, o);
    QJsonArray todos;
    for (int i = 0; i < 100000; ++i)
        todos.append(QJsonObject{{"id", QStringLiteral("t%1").arg(i)},
                                 {"title", QStringLiteral("To-do number %1").arg(i)},
                                 {"status", "open"}});
    web.project("alpha").setTodos(todos);
    platform.start();

    const QString suite = "big-account-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    qputenv("ZELVAN_KEYCHAIN_SERVICE", keyring.name().toUtf8());
    {
        Settings settings(Settings::suite(suite));
        settings.setPlatformBase(platform.base());
        Accounts accounts(settings);
        ASSERT_TRUE(accounts.signIn(QString::fromStdString(o.key), "ada@example.com", "Ada Lovelace"));
        accounts.apply({"ada@example.com", "Ada Lovelace", std::nullopt},
                       {WebPlatform::project(platform.base(), "alpha", "Alpha", "owner")});
    }

    JourneyDriver app(ZELVAN_EXECUTABLE);
    ASSERT_TRUE(app.launch({.suite = suite, .keyringService = keyring.name(), .env = {{"ZELVAN_ASK_SECONDS", "1"}}}))
        << app.log().toStdString();
    const auto err = [&] { return app.log().toStdString(); };
    // The account answer lists every project; the app keeps what it can use.
    ASSERT_TRUE(app.logged("[Zelvan] me: ada@example.com, projects [", 300)) << err();

    const QString dir = app.kickIn();
    ASSERT_FALSE(dir.isEmpty()) << err();
    JourneyDriver::spend(3);
    ASSERT_TRUE(app.wrapUp());
    ASSERT_TRUE(app.logged("[Zelvan] where ", 300)) << err();
    // Nobody answers: it goes to Personal after the one-second wait.
    ASSERT_TRUE(app.logged("[Zelvan] uploaded ", 300)) << err();
    size_t scores = 0;
    for (const auto& r : platform.requests())
        scores += r.path.ends_with("/route/score") ? 1 : 0;
    EXPECT_LE(scores, 40u) << "score requests";

    QRect icon;
    ASSERT_TRUE(waitFor([&] { return !(icon = slashOnScreen()).isEmpty(); }, 60)) << "no icon in the tray";
    QElapsedTimer opening;
    opening.start();
    ASSERT_TRUE(JourneyDriver::click(icon.center()));
    ASSERT_TRUE(waitFor([&] { return !popoverOnScreen().isEmpty(); }, 120)) << "no popover\n" << err();
    const double openSeconds = opening.elapsed() / 1000.0;
    JourneyDriver::spend(2);

    const double peak = statusMiB(app.pid(), "VmHWM:");
    const double now = statusMiB(app.pid(), "VmRSS:");
    std::printf("big account: popover shown after %.1f s; memory now %.0f MiB, peak %.0f MiB; %zu score requests\n",
                openSeconds, now, peak, scores);
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, memoryBudgetMiB);

    app.terminate();
    ASSERT_TRUE(app.ended(60)) << "SIGTERM did not end it\n" << err();
    EXPECT_EQ(app.exitCode(), 0);
    qunsetenv("ZELVAN_KEYCHAIN_SERVICE");
    Settings::removeSuite(suite);
}
