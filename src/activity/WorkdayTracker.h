#pragma once

#include "activity/WorkSpan.h"
#include "core/API.h"
#include "core/Clock.h"
#include "core/Paths.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// The work day: which application and window were in front, sampled every
// `interval` seconds into the local day's spans, kept in one file per day and
// sent to the platform. Main thread only; uploads wait on the network pool and
// report back on the main thread.
class WorkdayTracker : public QObject {
    Q_OBJECT

public:
    // The application in front, as the desktop's window layer reports it.
    struct Front {
        std::optional<QString> name;  // the name people know it by
        std::optional<QString> appId; // desktop-entry or Flatpak id, else the executable name
        std::optional<QString> title; // its front window's title
    };
    // Nothing when no application is in front.
    using FrontSource = std::function<std::optional<Front>()>;
    using IdleSource = std::function<double()>;

    // Seconds between samples; a new span covers one interval.
    static constexpr double interval = 15;
    // A day gains at most one span per sample: 86400 / 15.
    static constexpr qsizetype maxSpans = 5760;

    // Loads today's file from `dir`. With no front source set, samples record nothing.
    explicit WorkdayTracker(const QString& dir = Paths::workday(), QObject* parent = nullptr);

    void setFrontSource(FrontSource source) { front_ = std::move(source); }
    // Idle::seconds unless a test sets its own.
    void setIdleSource(IdleSource source) { idle_ = std::move(source); }

    const QString& day() const { return day_; }
    const std::vector<WorkSpan>& spans() const { return spans_; }
    const QString& dir() const { return dir_; }
    const std::optional<QDateTime>& pausedUntil() const { return pausedUntil_; }
    void setPausedUntil(const std::optional<QDateTime>& until) { pausedUntil_ = until; }
    const std::optional<QDateTime>& lastUpload() const { return lastUpload_; }
    // The platform lacks the work-day endpoint (it answered 404).
    bool needsUpdate() const { return needsUpdate_; }
    const std::optional<QString>& lastError() const { return lastError_; }

    // Against the current clock, not a sample's time.
    bool isPaused() const;
    // Negative spans count as 0.
    double trackedSeconds() const;

    // One sample: switches to the day of `now` first (even while paused or away),
    // then records the front application unless paused, away or nothing is in
    // front, and rewrites the day's file.
    void sample(bool includeTitles, const QDateTime& now = Clock::current().now());

    // Extends the last span when app and title match and it ended at most half an
    // interval before `now`; otherwise cuts a last span that runs past `now` back
    // to it and opens a new span [now, now + interval]. A full day opens no more.
    static void merge(std::vector<WorkSpan>& spans, const QDateTime& now, const QString& app,
                      const std::optional<QString>& title, double spanInterval = interval);

    // Sends a day's spans whole (the day in memory, or another day's file). With
    // no day: first every other day whose file changed since it was last sent,
    // oldest first, then today. Stops at the first failure, which the future
    // carries (APIError or another exception); the fields are set on the main
    // thread before the future finishes.
    QFuture<void> upload(const API& api, const std::optional<QString>& day = std::nullopt);
    // Every day whose file changed since it was last sent, today last; finishes at
    // once when there is none. For the launch and the day's roll-over.
    QFuture<void> uploadPending(const API& api);
    // Days written since their last successful upload, oldest first. Kept on disk.
    QStringList pendingDays() const;

    static QString file(const QString& day, const QString& dir);
    // Never fails: a missing file is an empty day, bad lines are skipped.
    static std::vector<WorkSpan> load(const QString& day, const QString& dir);
    // Rewrites the current day's file; a failure is logged ("workday save: …").
    void save();

signals:
    // The first sample of a new local day switched `day`; earlier days may wait
    // to be sent (uploadPending).
    void dayChanged();

private:
    QFuture<void> send(const API& api, const QStringList& days);
    void sent(const QString& day, quint64 revision, bool uploaded);
    void failed(std::exception_ptr error);
    void markPending(const QString& day);
    void savePending();

    QString dir_;
    QString day_;
    std::vector<WorkSpan> spans_;
    std::optional<QDateTime> pausedUntil_;
    std::optional<QDateTime> lastUpload_;
    bool needsUpdate_ = false;
    std::optional<QString> lastError_;

    FrontSource front_;
    IdleSource idle_;
    QSet<QString> pending_;
    // Saves per day in this run, so that an upload marks a day sent only when
    // nothing was written while it was on its way.
    QHash<QString, quint64> revisions_;
};
