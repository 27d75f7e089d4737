#pragma once

#include "core/Clock.h"

#include <QDateTime>
#include <QHash>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>

// Decides when to suggest a break and when a once-a-day reminder (workout,
// end of day) is due. Holds no timer: the activity tick feeds it. The tip
// counter and the reminders' marks live in the defaults store; the streak
// only in memory. Main thread only.
class Coach {
public:
    // The wellness tips, in rotation order.
    static const QStringList& tips();

    // A daily reminder fires in this many seconds after its minute of the day.
    static constexpr double window = 7200;

    // The store outlives the coach.
    explicit Coach(QSettings& defaults);

    // The next tip in rotation; advances the stored counter.
    QString nextTip();

    // One activity tick: true when a break is due now. Idle at or above the
    // threshold ends the streak; a new streak starts back-dated by `idle`.
    bool activity(double idle, const QDateTime& now, int breakMinutes);
    // Whole minutes of the current streak, 0 without one.
    int activeMinutes() const;
    // Ends the streak and holds break reminders back for 300 s.
    void tookBreak();
    // Holds break reminders back; the streak goes on.
    void snooze(double minutes);

    // Whether reminder `id`, set for `minute` minutes after midnight, should show
    // at `now`: inside its window, not shown for that day's reminder, not snoozed.
    // A window that runs past midnight stays open into the next day.
    bool due(const QString& id, int minute, const QDateTime& now);
    // Marks the reminder shown for the day `due` last found it due (else today).
    void markShown(const QString& id);
    void snoozeReminder(const QString& id, double minutes);
    // Lets the reminder fire again for the same day.
    void clearShown(const QString& id);

    const std::optional<QDateTime>& streakStart() const { return streakStart_; }
    qint64 tip() const { return tip_; }

private:
    QSettings& d_;
    std::optional<QDateTime> streakStart_;
    std::optional<QDateTime> snoozeUntil_;
    qint64 tip_ = 0;
    // Per reminder, the day whose reminder `due` last answered true for.
    QHash<QString, QString> dueDay_;
};
