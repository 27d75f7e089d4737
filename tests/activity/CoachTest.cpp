#include "Helpers.h"
#include "activity/Coach.h"
#include "support/TestSupport.h"

#include <QSettings>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Berlin local time on 4 March 2025 (UTC+1).
QDateTime local(int h, int m, int s = 0, int day = 4)
{
    return QDateTime(QDate(2025, 3, day), QTime(h, m, s), QTimeZone("Europe/Berlin"));
}

class CoachTest : public ::testing::Test {
protected:
    TempSupport support;
    FixedClock clock{local(9, 0)};
    std::unique_ptr<QSettings> store = fresh();

    std::unique_ptr<QSettings> fresh() const
    {
        return std::make_unique<QSettings>(support.file("defaults.conf"), QSettings::IniFormat);
    }
};

} // namespace

TEST_F(CoachTest, BreakFallsDueAfterTheStreakAndAnIdleGapResetsIt)
{
    Coach coach(*store);
    const QDateTime t0 = clock.now();
    const auto tick = [&](int s, double idle = 0) {
        clock.set(t0.addSecs(s));
        return coach.activity(idle, clock.now(), 50);
    };
    EXPECT_FALSE(tick(0));
    EXPECT_FALSE(tick(2940));
    EXPECT_TRUE(tick(3060));
    EXPECT_EQ(coach.activeMinutes(), 51);
    EXPECT_TRUE(tick(3075)); // stays due until something ends or holds it
    EXPECT_FALSE(tick(3120, 400));
    EXPECT_EQ(coach.activeMinutes(), 0);
    EXPECT_FALSE(tick(3180));
    EXPECT_EQ(coach.streakStart(), t0.addSecs(3180));
    EXPECT_FALSE(tick(3195, 300)); // the threshold itself counts as away
    EXPECT_EQ(coach.streakStart(), std::nullopt);

    // A first tick after 120 s without input starts the streak 120 s back.
    EXPECT_FALSE(tick(4000, 120));
    EXPECT_TRUE(tick(4000 - 120 + 3000));
}

TEST_F(CoachTest, SnoozeAndBreakHoldRemindersBack)
{
    Coach coach(*store);
    const QDateTime t0 = clock.now();
    EXPECT_TRUE(coach.activity(0, t0, 0));
    coach.snooze(10);
    clock.advance(599);
    EXPECT_FALSE(coach.activity(0, clock.now(), 0));
    clock.advance(1);
    EXPECT_TRUE(coach.activity(0, clock.now(), 0));

    coach.tookBreak();
    EXPECT_EQ(coach.streakStart(), std::nullopt);
    clock.advance(299);
    EXPECT_FALSE(coach.activity(0, clock.now(), 0));
    clock.advance(1);
    EXPECT_TRUE(coach.activity(0, clock.now(), 0));
}

TEST_F(CoachTest, TipsRotateAndTheCountSurvives)
{
    {
        Coach coach(*store);
        QStringList seen;
        for (int i = 0; i < 6; ++i)
            seen << coach.nextTip();
        EXPECT_EQ(seen, Coach::tips() + QStringList{Coach::tips()[0]});
    }
    EXPECT_EQ(fresh()->value("coachTip").toInt(), 6);
    EXPECT_EQ(Coach(*fresh()).nextTip(), Coach::tips()[1]);

    const std::pair<int, int> negative[] = {{-1, 4}, {-5, 0}, {-7, 3}};
    for (const auto& [stored, tip] : negative) {
        store->setValue("coachTip", stored);
        EXPECT_EQ(Coach(*store).nextTip(), Coach::tips()[tip]) << stored;
    }
    store->setValue("coachTip", "many");
    EXPECT_EQ(Coach(*store).nextTip(), Coach::tips()[0]);
}

TEST_F(CoachTest, DailyReminderWindow)
{
    Coach coach(*store);
    // The real clock's day does not matter: the target comes from `now`.
    clock.set(local(12, 0, 0, 1));
    EXPECT_FALSE(coach.due("workout", 1050, local(17, 29)));
    EXPECT_TRUE(coach.due("workout", 1050, local(17, 30)));
    EXPECT_TRUE(coach.due("workout", 1050, local(19, 29, 59)));
    EXPECT_FALSE(coach.due("workout", 1050, local(19, 30)));

    clock.set(local(17, 30));
    coach.due("workout", 1050, clock.now());
    coach.markShown("workout");
    EXPECT_EQ(store->value("shown.workout").toString(), "2025-03-04");
    EXPECT_FALSE(coach.due("workout", 1050, local(17, 45)));
    EXPECT_TRUE(coach.due("workout", 1050, local(17, 30, 0, 5)));

    // "Later": cleared and snoozed for 30 minutes.
    clock.set(local(17, 31));
    coach.clearShown("workout");
    coach.snoozeReminder("workout", 30);
    EXPECT_FALSE(coach.due("workout", 1050, local(18, 0, 59)));
    EXPECT_TRUE(coach.due("workout", 1050, local(18, 1)));
    store->setValue("snooze.workout", "2099-01-01");
    EXPECT_TRUE(coach.due("workout", 1050, local(18, 1))); // not a date: no snooze
}

TEST_F(CoachTest, AWindowRunningPastMidnightStaysOpen)
{
    Coach coach(*store);
    EXPECT_TRUE(coach.due("wrap", 23 * 60, local(23, 30)));
    clock.set(local(0, 30, 0, 5));
    ASSERT_TRUE(coach.due("wrap", 23 * 60, clock.now()));
    coach.markShown("wrap");
    // Shown for the 4th's reminder: not again tonight, but the 5th's still comes.
    EXPECT_FALSE(coach.due("wrap", 23 * 60, local(0, 45, 0, 5)));
    EXPECT_FALSE(coach.due("wrap", 23 * 60, local(1, 0, 0, 5)));
    EXPECT_TRUE(coach.due("wrap", 23 * 60, local(23, 0, 0, 5)));
}
