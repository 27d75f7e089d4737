// Notification texts and click targets, and a real notification through the
// private desktop's notification daemon.
#include "board/Notify.h"
#include "board/SessionLinks.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "platform/DesktopHelpers.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using P = Notify::Payload;
const QString B = QStringLiteral("https://team.example.com");

TEST(NotifyPayload, Texts)
{
    const QString t70(70, u'a'), t81(81, u'b'), t80(80, u'c');
    const struct {
        P got;
        P want;
    } cases[] = {
        {Notify::reviewReadyPayload("rec:1", t70, 1, std::nullopt, B),
         {"review.rec:1", "Review ready — " + QString(59, u'a') + "…", "1 suggestion to look at.",
          QUrl(B + "/app/r/rec%3A1")}},
        {Notify::reviewReadyPayload("r", "T", 3, QUrl(B + "/app/p/x/#/library/call/r"), B),
         {"review.r", "Review ready — T", "3 suggestions to look at.", QUrl(B + "/app/p/x/#/library/call/r")}},
        {Notify::reviewReadyPayload("r", "T", 0, std::nullopt, B),
         {"review.r", "Review ready — T", "Notes and the workflow review are in.", QUrl(B + "/app/r/r")}},
        {Notify::savedPayload("r", t81, "Bramel", std::nullopt, QString("20261210-1")),
         {"session.20261210-1", "Saved in Bramel", "“" + QString(79, u'b') + "…”", std::nullopt}},
        {Notify::savedPayload("r", t80, "Personal", QUrl(B + "/app/r/r"), std::nullopt),
         {"session.r", "Saved in Personal", "“" + t80 + "”", QUrl(B + "/app/r/r")}},
        {Notify::filedPersonalPayload("Call", "k", B),
         {"session.k", "Where does this go? → Personal",
          "No choice in 2 min, so “Call” goes to Personal (only you see it). Move it from the menu.", QUrl(B + "/app")}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.id, c.want.id);
        EXPECT_EQ(c.got.title, c.want.title);
        EXPECT_EQ(c.got.body, c.want.body);
        EXPECT_EQ(c.got.url, c.want.url) << c.want.id.toStdString();
    }
}

TEST(NotifyPayload, ClickTargetsAndSwitches)
{
    EXPECT_EQ(Notify::target(B + "/app/r/1", B), QUrl(B + "/app/r/1"));
    EXPECT_EQ(Notify::target(QString("https://evil.example/app/r/1"), B), QUrl(B + "/app"));
    EXPECT_EQ(Notify::target(std::nullopt, B), QUrl(B + "/app"));
    EXPECT_EQ(Notify::target(QString("::"), B), QUrl(B + "/app"));

    qunsetenv("ZELVAN_DEFAULTS_SUITE");
    qunsetenv("ZELVAN_NOTIFY");
    EXPECT_FALSE(Notify::switchedOff({"zelvan"}));
    EXPECT_TRUE(Notify::switchedOff({"zelvan", "--dump-menu"}));
    EXPECT_TRUE(Notify::switchedOff({"zelvan", "--ui-check"}));
    qputenv("ZELVAN_DEFAULTS_SUITE", "");
    EXPECT_FALSE(Notify::switchedOff({"zelvan"}));
    qputenv("ZELVAN_DEFAULTS_SUITE", "test");
    EXPECT_TRUE(Notify::switchedOff({"zelvan"}));
    qunsetenv("ZELVAN_DEFAULTS_SUITE");
    qputenv("ZELVAN_NOTIFY", "0");
    EXPECT_TRUE(Notify::switchedOff({"zelvan"}));
    qunsetenv("ZELVAN_NOTIFY");
}

// What the daemon reported for our posts: (id, the daemon's number).
struct Posts {
    explicit Posts(Notify& n)
    {
        QObject::connect(&n, &Notify::posted, [this](const QString& id, uint number) { seen.push_back({id, number}); });
    }
    bool wait(size_t count)
    {
        return waitFor([&] { return seen.size() >= count; }, 30);
    }
    std::vector<std::pair<QString, uint>> seen;
};

QByteArray dunstctl(const QStringList& args)
{
    QProcess p;
    p.start("dunstctl", args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

class NotifyDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        qunsetenv("ZELVAN_DEFAULTS_SUITE");
        qunsetenv("ZELVAN_NOTIFY");
        settings.setPlatformBase(B);
        dunstctl({"close-all"});
    }
    void TearDown() override { dunstctl({"close-all"}); }

    QTemporaryDir dir;
    Settings settings{std::make_unique<QSettings>(dir.filePath("s.conf"), QSettings::IniFormat)};
    Accounts accounts{settings};
};

TEST_F(NotifyDesktop, ASavedSessionIsShownAndItsClickOpensThePage)
{
    Notify notify(settings);
    std::vector<QUrl> opened;
    notify.onOpen = [&](const QUrl& url) { opened.push_back(url); };
    notify.setup({"zelvan"});
    ASSERT_TRUE(notify.enabled());
    ASSERT_TRUE(notify.allowed());

    Posts posted(notify);
    const QUrl page(B + "/app/r/rec%3A5");
    notify.saved("rec:5", "Design review", "Bramel", page, QString("20261210-090000"));
    ASSERT_TRUE(posted.wait(1));
    EXPECT_EQ(posted.seen[0].first, "session.20261210-090000");
    EXPECT_EQ(SessionLinks::link(accounts, "rec:5"), page);

    dunstctl({"action", "0"});
    waitFor([&] { return !opened.empty(); }, 30);
    EXPECT_EQ(opened, std::vector<QUrl>{page});

    // The same key replaces the notification under the same number.
    notify.filedPersonal("Design review", "20261210-090000");
    ASSERT_TRUE(posted.wait(2));
    EXPECT_EQ(posted.seen[1].second, posted.seen[0].second);

    dunstctl({"close-all"});
    const QJsonArray history = QJsonDocument::fromJson(dunstctl({"history"})).object()["data"].toArray()[0].toArray();
    QStringList seen;
    for (const QJsonValue& n : history)
        seen << n["summary"]["data"].toString() + " | " + n["body"]["data"].toString();
    EXPECT_TRUE(
        seen.contains(QString::fromUtf8("Where does this go? → Personal | No choice in 2 min, so “Design review” goes "
                                        "to Personal (only you see it). Move it from the menu.")))
        << seen.join("\n").toStdString();
}

TEST_F(NotifyDesktop, ShownTitleAndBody)
{
    Notify notify(settings);
    notify.setup({"zelvan"});
    Posts posted(notify);
    notify.reviewReady("rec:6", "Weekly sync", 2, std::nullopt);
    ASSERT_TRUE(posted.wait(1));
    dunstctl({"close-all"});
    const QJsonArray history = QJsonDocument::fromJson(dunstctl({"history"})).object()["data"].toArray()[0].toArray();
    bool found = false;
    for (const QJsonValue& n : history)
        found = found
            || (n["summary"]["data"].toString() == QString::fromUtf8("Review ready — Weekly sync")
                && n["body"]["data"].toString() == "2 suggestions to look at.");
    EXPECT_TRUE(found);
}

// The body is markup for a server that says so, the summary plain text: a title
// with "&" and "<" reaches the screen whole in both.
TEST_F(NotifyDesktop, MarkupCharactersInTitlesAreShownAsText)
{
    Notify notify(settings);
    notify.setup({"zelvan"});
    Posts posted(notify);
    const QString title = "Q&A with <Bob> & R&D";
    notify.saved("rec:8", title, "Bramel", std::nullopt, std::nullopt);
    notify.reviewReady("rec:9", title, 0, std::nullopt);
    ASSERT_TRUE(posted.wait(2));
    dunstctl({"close-all"});
    const QJsonArray history = QJsonDocument::fromJson(dunstctl({"history"})).object()["data"].toArray()[0].toArray();
    QStringList bodies, summaries;
    for (const QJsonValue& n : history) {
        bodies << n["body"]["data"].toString();
        summaries << n["summary"]["data"].toString();
    }
    EXPECT_TRUE(bodies.contains(QString::fromUtf8("“Q&amp;A with &lt;Bob&gt; &amp; R&amp;D”"))) << bodies.join('\n').toStdString();
    EXPECT_TRUE(summaries.contains(QString::fromUtf8("Review ready — Q&A with <Bob> & R&D")))
        << summaries.join('\n').toStdString();
}

TEST_F(NotifyDesktop, SwitchedOffPostsNothing)
{
    Notify notify(settings);
    notify.setup({"zelvan", "--ui-check"});
    EXPECT_FALSE(notify.enabled());
    Posts posted(notify);
    notify.saved("rec:7", "x", "y", std::nullopt, std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(dunstctl({"count", "displayed"}).trimmed(), "0");
    EXPECT_TRUE(posted.seen.empty());
}

} // namespace
