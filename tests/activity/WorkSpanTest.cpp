#include "Helpers.h"
#include "activity/WorkSpan.h"
#include "activity/WorkdayTracker.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

QDateTime utc(int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2025, 3, 4), QTime(h, m, s, ms), QTimeZone::utc());
}

} // namespace

TEST(DayFile, WritesOneSortedCompactLinePerSpanAndReadsItBack)
{
    TempSupport support;
    FixedClock clock(utc(9, 0, 0));
    WorkdayTracker tracker(support.path() + "/days");
    WorkdayTracker::Front front{QStringLiteral("Firefox"), {}, QStringLiteral("Docs / Plan")};
    tracker.setIdleSource([] { return 0.0; });
    tracker.setFrontSource([&] { return front; });
    // Samples carry milliseconds; the file keeps whole seconds.
    tracker.sample(true, utc(9, 0, 0, 250));
    front = {QStringLiteral("a/b"), {}, {}};
    tracker.sample(true, utc(9, 0, 15, 250));

    const QString path = WorkdayTracker::file("2025-03-04", support.path() + "/days");
    EXPECT_EQ(readFile(path),
              "{\"app\":\"Firefox\",\"end\":\"2025-03-04T09:00:15Z\",\"start\":\"2025-03-04T09:00:00Z\","
              "\"title\":\"Docs \\/ Plan\"}\n"
              "{\"app\":\"a\\/b\",\"end\":\"2025-03-04T09:00:30Z\",\"start\":\"2025-03-04T09:00:15Z\"}\n");
    EXPECT_EQ(fileMode(path), 0600);
    EXPECT_EQ(fileMode(support.path() + "/days"), 0700);

    const std::vector<WorkSpan> back = WorkdayTracker::load("2025-03-04", support.path() + "/days");
    const std::vector<WorkSpan> expected{
        {utc(9, 0, 0), utc(9, 0, 15), "Firefox", QStringLiteral("Docs / Plan")},
        {utc(9, 0, 15), utc(9, 0, 30), "a/b", std::nullopt},
    };
    EXPECT_EQ(back, expected);
}

TEST(DayFile, SkipsLinesThatDoNotDecode)
{
    TempSupport support;
    writeFile(support.file("2025-03-04.jsonl"),
              "\n"
              "not json\n"
              "{\"end\":\"2025-03-04T09:00:15Z\",\"start\":\"2025-03-04T09:00:00Z\"}\n"    // no app
              "{\"app\":\"X\",\"end\":\"yesterday\",\"start\":\"2025-03-04T09:00:00Z\"}\n" // bad date
              "[1,2]\n"
              "{\"app\":\"Xcode\",\"end\":\"2025-03-04T09:00:15Z\",\"start\":\"2025-03-04T09:00:00Z\"}");
    const auto spans = WorkdayTracker::load("2025-03-04", support.path());
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].app, "Xcode");
    EXPECT_EQ(spans[0].title, std::nullopt);
    EXPECT_TRUE(WorkdayTracker::load("2025-03-05", support.path()).empty());
}

TEST(DayFile, UploadFormHasMillisecondsAndANullTitle)
{
    const WorkSpan span{utc(9, 0, 0, 250), utc(9, 0, 15), "Terminal", std::nullopt};
    EXPECT_EQ(QJsonDocument(span.dict()).toJson(QJsonDocument::Compact),
              "{\"app\":\"Terminal\",\"end\":\"2025-03-04T09:00:15.000Z\",\"start\":\"2025-03-04T09:00:00.250Z\","
              "\"title\":null}");
    const WorkSpan titled{utc(9, 0, 0), utc(9, 0, 15), "Terminal", QStringLiteral("~/src")};
    EXPECT_EQ(titled.dict().value("title").toString(), "~/src");
}

TEST(DayFile, AFailedSaveIsLoggedAndKeepsTheSpans)
{
    TempSupport support;
    FixedClock clock(utc(9, 0, 0));
    const QString dir = support.path() + "/days";
    WorkdayTracker tracker(dir);
    tracker.setIdleSource([] { return 0.0; });
    tracker.setFrontSource([] { return WorkdayTracker::Front{QStringLiteral("Xcode"), {}, {}}; });
    // The day's file name is taken by a folder: the write cannot replace it.
    QDir().mkpath(WorkdayTracker::file(tracker.day(), dir));
    tracker.sample(true);
    EXPECT_EQ(tracker.spans().size(), 1u);
    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).contains("workday save: cannot write"));
}
