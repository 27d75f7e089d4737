#include "Helpers.h"
#include "activity/WorkdayTracker.h"
#include "core/Fmt.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"

#include <QDir>
#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

const QDateTime t0(QDate(2025, 3, 4), QTime(9, 0, 0), QTimeZone::utc());

QDateTime at(double seconds)
{
    return t0.addMSecs(qint64(seconds * 1000));
}

struct Sample {
    double t;
    QString app;
    std::optional<QString> title;
};

struct Span {
    double start, end;
    QString app;
    std::optional<QString> title;
};

std::vector<WorkSpan> spans(const std::vector<Span>& list)
{
    std::vector<WorkSpan> out;
    for (const Span& s : list)
        out.push_back({at(s.start), at(s.end), s.app, s.title});
    return out;
}

std::vector<WorkSpan> merged(const std::vector<Sample>& samples, std::vector<WorkSpan> start = {})
{
    for (const Sample& s : samples)
        WorkdayTracker::merge(start, at(s.t), s.app, s.title);
    return start;
}

} // namespace

TEST(WorkdayMerge, FollowsTheSamples)
{
    const std::optional<QString> a = QStringLiteral("main.swift"), b = QStringLiteral("README");
    struct Case {
        const char* what;
        std::vector<Sample> samples;
        std::vector<Span> expected;
    };
    const Case cases[] = {
        {"a window change and a long gap",
         {{0, "Xcode", a}, {15, "Xcode", a}, {30, "Xcode", b}, {45, "Xcode", b}, {400, "Xcode", b}},
         {{0, 30, "Xcode", a}, {30, 60, "Xcode", b}, {400, 415, "Xcode", b}}},
        {"7.5 s after the end still extends", {{0, "Xcode", a}, {22.5, "Xcode", a}}, {{0, 37.5, "Xcode", a}}},
        {"7.6 s after the end opens a new span",
         {{0, "Xcode", a}, {22.6, "Xcode", a}},
         {{0, 15, "Xcode", a}, {22.6, 37.6, "Xcode", a}}},
        {"a change before the end cuts the span back",
         {{0, "Xcode", a}, {10, "Mail", std::nullopt}},
         {{0, 10, "Xcode", a}, {10, 25, "Mail", std::nullopt}}},
        {"a change at the end leaves it", {{0, "Xcode", a}, {15, "Mail", a}}, {{0, 15, "Xcode", a}, {15, 30, "Mail", a}}},
        {"no title and a title differ",
         {{0, "Xcode", std::nullopt}, {5, "Xcode", a}},
         {{0, 5, "Xcode", std::nullopt}, {5, 20, "Xcode", a}}},
        {"an early sample never shortens", {{0, "Xcode", a}, {2, "Xcode", a}}, {{0, 17, "Xcode", a}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(merged(c.samples), spans(c.expected)) << c.what;
}

TEST(WorkdayMerge, AFullDayOpensNoMoreSpans)
{
    std::vector<WorkSpan> day;
    for (qsizetype i = 0; i < WorkdayTracker::maxSpans; ++i)
        day.push_back({at(i), at(i + 1), QString::number(i % 2), std::nullopt});
    const WorkSpan last = day.back();
    WorkdayTracker::merge(day, at(WorkdayTracker::maxSpans - 0.5), "Other", std::nullopt);
    EXPECT_EQ(day.size(), size_t(WorkdayTracker::maxSpans));
    EXPECT_EQ(day.back(), last);
    // The running span still grows.
    WorkdayTracker::merge(day, at(WorkdayTracker::maxSpans), last.app, std::nullopt);
    EXPECT_EQ(day.back().end, at(WorkdayTracker::maxSpans + 15));
}

class Tracker : public ::testing::Test {
protected:
    TempSupport support;
    FixedClock clock{t0};
    double idle = 0;
    std::optional<WorkdayTracker::Front> front = WorkdayTracker::Front{QStringLiteral("Xcode"),
                                                                       {},
                                                                       QStringLiteral("main.swift")};

    void wire(WorkdayTracker& t)
    {
        t.setIdleSource([this] { return idle; });
        t.setFrontSource([this] { return front; });
    }
    QString dir() const { return support.path() + "/workday"; }
};

TEST_F(Tracker, SamplesOnlyWhileActiveAndNotPaused)
{
    WorkdayTracker t(dir());
    wire(t);
    EXPECT_EQ(t.trackedSeconds(), 0);

    t.setPausedUntil(at(60));
    t.sample(true, at(0));
    EXPECT_TRUE(t.spans().empty());
    clock.set(at(60)); // the pause ends with the clock, not with the sample's time
    t.sample(true, at(0));
    EXPECT_EQ(t.spans().size(), 1u);

    idle = 300;
    t.sample(true, at(15));
    front.reset();
    idle = 299;
    t.sample(true, at(15));
    EXPECT_EQ(t.spans(), spans({{0, 15, "Xcode", QStringLiteral("main.swift")}}));
    EXPECT_EQ(t.trackedSeconds(), 15);
    EXPECT_EQ(WorkdayTracker::load(t.day(), dir()), t.spans());
}

TEST_F(Tracker, AppliesThePrivacyRuleAndTheTitleSetting)
{
    WorkdayTracker t(dir());
    wire(t);
    t.sample(false, at(0));
    front->title = QStringLiteral("other.swift");
    t.sample(false, at(15));
    front = WorkdayTracker::Front{std::nullopt, QStringLiteral("org.keepassxc.KeePassXC"), QStringLiteral("Vault")};
    t.sample(true, at(30));
    front = WorkdayTracker::Front{std::nullopt, std::nullopt, QStringLiteral("  ")};
    t.sample(true, at(45));
    EXPECT_EQ(t.spans(),
              spans({{0, 30, "Xcode", std::nullopt}, {30, 45, "(private)", std::nullopt}, {45, 60, "?", std::nullopt}}));
}

TEST_F(Tracker, SwitchesToTheLocalDayEvenWhilePaused)
{
    // 23:59:50 in Berlin.
    const QDateTime late(QDate(2025, 3, 4), QTime(22, 59, 50), QTimeZone::utc());
    clock.set(late);
    WorkdayTracker t(dir());
    wire(t);
    t.sample(true, late);
    ASSERT_EQ(t.day(), "2025-03-04");
    writeFile(WorkdayTracker::file("2025-03-05", dir()),
              "{\"app\":\"Mail\",\"end\":\"2025-03-04T23:00:00Z\",\"start\":\"2025-03-04T22:59:59Z\"}\n");

    int changed = 0;
    QObject::connect(&t, &WorkdayTracker::dayChanged, [&] { ++changed; });
    t.setPausedUntil(late.addSecs(3600));
    // 00:00:05 local is still the 4th in UTC, but the file is the 5th's.
    t.sample(true, late.addSecs(15));
    EXPECT_EQ(t.day(), "2025-03-05");
    EXPECT_EQ(changed, 1);
    ASSERT_EQ(t.spans().size(), 1u);
    EXPECT_EQ(t.spans()[0].app, "Mail");
    EXPECT_EQ(WorkdayTracker::load("2025-03-04", dir()).size(), 1u);
}

class Upload : public Tracker {
protected:
    void SetUp() override { fake.start(); }

    API api() const { return API(fake.base(), "k"); }
    std::vector<QJsonObject> sentDays() const { return server.workdays(); }
    // The "day" of every upload, in order.
    QStringList days() const
    {
        QStringList out;
        for (const QJsonObject& o : server.workdays())
            out << o.value("day").toString();
        return out;
    }

    FakePlatform fake;
    WorkspaceServer server{fake};
};

TEST_F(Upload, SendsTheDayInUploadForm)
{
    WorkdayTracker t(dir());
    wire(t);
    t.sample(true, at(0.25));
    front->title.reset();
    t.sample(true, at(15.25));
    const QFuture<void> done = t.upload(api());
    ASSERT_TRUE(settle(done));
    EXPECT_NO_THROW(QFuture<void>(done).waitForFinished());

    ASSERT_EQ(sentDays().size(), 1u);
    const QJsonObject sent = sentDays()[0];
    EXPECT_EQ(sent.value("day").toString(), "2025-03-04");
    const QJsonArray expected{t.spans()[0].dict(), t.spans()[1].dict()};
    EXPECT_EQ(sent.value("spans").toArray(), expected);
    EXPECT_EQ(expected[1].toObject().value("start").toString(), "2025-03-04T09:00:15.250Z");
    EXPECT_EQ(t.lastUpload(), clock.now());
    EXPECT_TRUE(t.pendingDays().isEmpty());
}

TEST_F(Upload, ASampleWhileTheUploadIsOnItsWayKeepsTheDayUnsent)
{
    WorkdayTracker t(dir());
    wire(t);
    t.sample(true, at(0));
    const QFuture<void> done = t.upload(api());
    t.sample(true, at(15)); // answers are applied only once the event loop runs
    ASSERT_TRUE(settle(done));
    EXPECT_EQ(t.pendingDays(), QStringList{"2025-03-04"});
}

TEST_F(Upload, A404MarksTheTrackerOutdatedUntilTheNextSuccess)
{
    FakePlatform oldFake;
    oldFake.start();
    WorkspaceServer older(oldFake, WorkspaceServer::Mode::older);
    WorkdayTracker t(dir());
    wire(t);
    t.sample(true, at(0));

    const QFuture<void> failed = t.upload(API(oldFake.base(), "k"));
    ASSERT_TRUE(settle(failed));
    EXPECT_THROW(QFuture<void>(failed).waitForFinished(), APIError);
    EXPECT_TRUE(t.needsUpdate());
    ASSERT_TRUE(t.lastError());
    EXPECT_TRUE(t.lastError()->endsWith("(HTTP 404)")) << t.lastError()->toStdString();
    EXPECT_EQ(t.lastUpload(), std::nullopt);
    EXPECT_EQ(t.pendingDays(), QStringList{"2025-03-04"});

    ASSERT_TRUE(settle(t.upload(api())));
    EXPECT_FALSE(t.needsUpdate());
    EXPECT_EQ(t.lastError(), std::nullopt);
}

TEST_F(Upload, AnEarlierDayIsReadFromItsFile)
{
    QDir().mkpath(dir());
    writeFile(WorkdayTracker::file("2025-03-01", dir()),
              "{\"app\":\"Mail\",\"end\":\"2025-03-01T10:00:15Z\",\"start\":\"2025-03-01T10:00:00Z\"}\n");
    WorkdayTracker t(dir());
    wire(t);
    t.sample(true, at(0));
    const auto today = t.spans();
    ASSERT_TRUE(settle(t.upload(api(), QStringLiteral("2025-03-01"))));
    ASSERT_EQ(sentDays().size(), 1u);
    EXPECT_EQ(sentDays()[0].value("day").toString(), "2025-03-01");
    EXPECT_EQ(sentDays()[0].value("spans").toArray().at(0).toObject().value("app").toString(), "Mail");
    EXPECT_EQ(t.spans(), today);
    // Today was written and not sent.
    EXPECT_EQ(t.pendingDays(), QStringList{"2025-03-04"});
}

TEST_F(Upload, DaysChangedSinceTheirLastUploadGoOutAtRollOverAndLaunch)
{
    const QDateTime evening(QDate(2025, 3, 4), QTime(22, 50, 0), QTimeZone::utc()); // 23:50 local
    clock.set(evening);
    {
        WorkdayTracker t(dir());
        wire(t);
        t.sample(true, evening);
        ASSERT_TRUE(settle(t.upload(api())));
        // The last minutes of the day, after the last upload.
        t.sample(true, evening.addSecs(15));
        t.sample(true, evening.addSecs(30));

        const QDateTime morning = evening.addSecs(600); // 00:00 local
        clock.set(morning);
        int changed = 0;
        QObject::connect(&t, &WorkdayTracker::dayChanged, [&] { ++changed; });
        t.sample(true, morning);
        ASSERT_EQ(changed, 1);
        ASSERT_TRUE(settle(t.uploadPending(api())));
        ASSERT_EQ(days(), (QStringList{"2025-03-04", "2025-03-04", "2025-03-05"}));
        EXPECT_EQ(sentDays()[1].value("spans").toArray().size(), 1); // the running span, extended
        EXPECT_EQ(sentDays()[1].value("spans").toArray().at(0).toObject().value("end").toString(),
                  Fmt::iso(evening.addSecs(45)));

        // Nothing changed: nothing is sent again.
        ASSERT_TRUE(settle(t.uploadPending(api())));
        EXPECT_EQ(days().size(), 3);
        t.sample(true, morning.addSecs(15));
    }
    {
        // Quit before the new day's last minutes went out; a failed attempt keeps them waiting.
        fake.fail("POST", "/api/workday", {.status = 503, .body = "{\"error\":\"busy\"}"});
        WorkdayTracker t(dir());
        EXPECT_EQ(t.pendingDays(), QStringList{"2025-03-05"});
        ASSERT_TRUE(settle(t.uploadPending(api())));
        EXPECT_EQ(t.pendingDays(), QStringList{"2025-03-05"});
    }
    WorkdayTracker t(dir());
    ASSERT_TRUE(settle(t.uploadPending(api())));
    EXPECT_EQ(days(), (QStringList{"2025-03-04", "2025-03-04", "2025-03-05", "2025-03-05"}));
    EXPECT_EQ(sentDays().back().value("spans").toArray().size(), 1);
    WorkdayTracker again(dir());
    ASSERT_TRUE(settle(again.uploadPending(api())));
    EXPECT_EQ(days().size(), 4);
}

TEST_F(Upload, TheRegularUploadAlsoCatchesUpEarlierDaysOldestFirst)
{
    for (const char* day : {"2025-03-02", "2025-03-01"}) {
        clock.set(QDateTime(QDate::fromString(day, Qt::ISODate), QTime(10, 0), QTimeZone::utc()));
        WorkdayTracker t(dir());
        wire(t);
        t.sample(true, clock.now());
    }
    clock.set(t0);
    WorkdayTracker t(dir());
    ASSERT_TRUE(settle(t.upload(api())));
    EXPECT_EQ(days(), (QStringList{"2025-03-01", "2025-03-02", "2025-03-04"}));
    EXPECT_TRUE(t.pendingDays().isEmpty());
}
