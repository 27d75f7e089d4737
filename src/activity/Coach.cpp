#include "activity/Coach.h"

#include "activity/Idle.h"
#include "core/Fmt.h"
#include "core/Settings.h"

#include <QTimeZone>

namespace {

QString shownKey(const QString& id)
{
    return QStringLiteral("shown.") + id;
}

QString snoozeKey(const QString& id)
{
    return QStringLiteral("snooze.") + id;
}

const QString tipKey = QStringLiteral("coachTip");

} // namespace

const QStringList& Coach::tips()
{
    static const QStringList list{
        QStringLiteral("Stand up and stretch for a minute."),
        QStringLiteral("Get a glass of water."),
        QStringLiteral("Walk for 5 minutes, away from the screen."),
        QStringLiteral("Look at something far away for 20 seconds."),
        QStringLiteral("Roll your shoulders and unclench your jaw."),
    };
    return list;
}

Coach::Coach(QSettings& defaults)
    : d_(defaults)
{
    bool ok = false;
    const qint64 stored = d_.value(tipKey).toLongLong(&ok);
    tip_ = ok ? stored : 0;
}

QString Coach::nextTip()
{
    const qint64 n = tips().size();
    // A stored negative count still has to name a tip.
    const QString tip = tips().at(((tip_ % n) + n) % n);
    ++tip_;
    d_.setValue(tipKey, tip_);
    d_.sync();
    return tip;
}

bool Coach::activity(double idle, const QDateTime& now, int breakMinutes)
{
    if (idle >= Idle::threshold) {
        streakStart_.reset();
        return false;
    }
    if (!streakStart_)
        streakStart_ = now.addMSecs(-qint64(idle * 1000));
    const double elapsed = streakStart_->msecsTo(now) / 1000.0;
    if (elapsed < breakMinutes * 60.0)
        return false;
    return !snoozeUntil_ || now >= *snoozeUntil_;
}

int Coach::activeMinutes() const
{
    if (!streakStart_)
        return 0;
    return int(streakStart_->secsTo(Clock::current().now()) / 60);
}

void Coach::tookBreak()
{
    streakStart_.reset();
    snoozeUntil_ = Clock::current().now().addSecs(300);
}

void Coach::snooze(double minutes)
{
    snoozeUntil_ = Clock::current().now().addMSecs(qint64(minutes * 60'000));
}

bool Coach::due(const QString& id, int minute, const QDateTime& now)
{
    const QVariant snoozed = d_.value(snoozeKey(id));
    if (snoozed.typeId() == QMetaType::QDateTime && now < snoozed.toDateTime())
        return false;
    const QString shown = d_.value(shownKey(id)).toString();
    // Today's reminder, and yesterday's when its window runs past midnight.
    QList<QDateTime> targets{Settings::dateFromMinute(minute, now)};
    if (minute >= 0 && minute < 24 * 60) {
        const QDate yesterday = now.toLocalTime().date().addDays(-1);
        targets << Settings::dateFromMinute(minute, QDateTime(yesterday, QTime(12, 0)));
    }
    for (const QDateTime& target : targets) {
        const double after = target.msecsTo(now) / 1000.0;
        const QString day = Fmt::day(target);
        if (after >= 0 && after < window && shown != day) {
            dueDay_.insert(id, day);
            return true;
        }
    }
    return false;
}

void Coach::markShown(const QString& id)
{
    const QString day = dueDay_.take(id);
    d_.setValue(shownKey(id), day.isEmpty() ? Fmt::day(Clock::current().now()) : day);
    d_.sync();
}

void Coach::snoozeReminder(const QString& id, double minutes)
{
    d_.setValue(snoozeKey(id), Clock::current().now().addMSecs(qint64(minutes * 60'000)));
    d_.sync();
}

void Coach::clearShown(const QString& id)
{
    d_.remove(shownKey(id));
    d_.sync();
}
