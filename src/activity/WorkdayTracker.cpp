#include "activity/WorkdayTracker.h"

#include "activity/Idle.h"
#include "core/Fmt.h"
#include "core/JSONFile.h"
#include "core/Log.h"
#include "core/Net.h"
#include "core/Privacy.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QJsonArray>
#include <QPromise>
#include <algorithm>
#include <memory>

namespace {

// The days written since their last successful upload, in the work-day folder.
const QString pendingFile = QStringLiteral("unsent.json");

QJsonArray body(const std::vector<WorkSpan>& spans)
{
    QJsonArray out;
    for (const WorkSpan& span : spans)
        out.append(span.dict());
    return out;
}

} // namespace

WorkdayTracker::WorkdayTracker(const QString& dir, QObject* parent)
    : QObject(parent)
    , dir_(dir)
    , day_(Fmt::day(Clock::current().now()))
    , idle_(&Idle::seconds)
{
    spans_ = load(day_, dir_);
    if (const auto days = JSONFile::read<std::vector<QString>>(dir_ + u'/' + pendingFile))
        pending_ = QSet<QString>(days->begin(), days->end());
}

bool WorkdayTracker::isPaused() const
{
    return pausedUntil_ && *pausedUntil_ > Clock::current().now();
}

double WorkdayTracker::trackedSeconds() const
{
    double total = 0;
    for (const WorkSpan& span : spans_)
        total += std::max<qint64>(0, span.start.msecsTo(span.end)) / 1000.0;
    return total;
}

void WorkdayTracker::sample(bool includeTitles, const QDateTime& now)
{
    const QString d = Fmt::day(now);
    if (d != day_) {
        day_ = d;
        spans_ = load(d, dir_);
        emit dayChanged();
    }
    if (isPaused() || idle_() >= Idle::threshold || !front_)
        return;
    const auto front = front_();
    if (!front)
        return;
    const auto given = [](const std::optional<QString>& s) { return s && !s->isEmpty(); };
    const QString name = given(front->name) ? *front->name : given(front->appId) ? *front->appId : QStringLiteral("?");
    const Privacy::Result seen = Privacy::classify(name, front->appId, front->title, includeTitles);
    merge(spans_, now, seen.app, seen.title, interval);
    save();
}

void WorkdayTracker::merge(std::vector<WorkSpan>& spans, const QDateTime& now, const QString& app,
                           const std::optional<QString>& title, double spanInterval)
{
    const QDateTime next = now.addMSecs(qint64(spanInterval * 1000));
    if (!spans.empty()) {
        WorkSpan& last = spans.back();
        if (last.app == app && last.title == title && last.end.msecsTo(now) <= qint64(spanInterval * 500)) {
            last.end = std::max(last.end, next);
            return;
        }
    }
    if (qsizetype(spans.size()) >= maxSpans)
        return;
    if (!spans.empty() && spans.back().end > now)
        spans.back().end = now;
    spans.push_back(WorkSpan{now, next, app, title});
}

QString WorkdayTracker::file(const QString& day, const QString& dir)
{
    return dir + u'/' + day + QStringLiteral(".jsonl");
}

std::vector<WorkSpan> WorkdayTracker::load(const QString& day, const QString& dir)
{
    QFile f(file(day, dir));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return WorkSpan::decodeDay(f.readAll());
}

void WorkdayTracker::save()
{
    // Marked before the file is written, so a crash in between cannot leave a
    // change that is never sent.
    markPending(day_);
    ++revisions_[day_];
    try {
        Paths::ensure(dir_);
        JSONFile::writeBytes(WorkSpan::encodeDay(spans_), file(day_, dir_));
    } catch (const JSONFile::WriteError& e) {
        slog(QStringLiteral("workday save: ") + QString::fromUtf8(e.what()));
    }
}

QStringList WorkdayTracker::pendingDays() const
{
    QStringList days(pending_.begin(), pending_.end());
    days.sort();
    return days;
}

void WorkdayTracker::markPending(const QString& day)
{
    if (pending_.contains(day))
        return;
    pending_.insert(day);
    savePending();
}

void WorkdayTracker::savePending()
{
    const QStringList days = pendingDays();
    try {
        Paths::ensure(dir_);
        JSONFile::write(std::vector<QString>(days.begin(), days.end()), dir_ + u'/' + pendingFile);
    } catch (const JSONFile::WriteError& e) {
        slog(QStringLiteral("workday save: ") + QString::fromUtf8(e.what()));
    }
}

QFuture<void> WorkdayTracker::upload(const API& api, const std::optional<QString>& day)
{
    if (day)
        return send(api, {*day});
    QStringList days = pendingDays();
    days.removeAll(day_);
    days.append(day_);
    return send(api, days);
}

QFuture<void> WorkdayTracker::uploadPending(const API& api)
{
    QStringList days = pendingDays();
    if (days.removeAll(day_) > 0)
        days.append(day_);
    return send(api, days);
}

QFuture<void> WorkdayTracker::send(const API& api, const QStringList& days)
{
    struct Job {
        QString day;
        quint64 revision = 0;
        std::optional<QJsonArray> spans; // the day in memory; other days are read off this thread
    };
    std::vector<Job> jobs;
    for (const QString& d : days)
        jobs.push_back(Job{d, revisions_.value(d), d == day_ ? std::optional(body(spans_)) : std::nullopt});

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> future = promise->future();
    if (jobs.empty()) {
        promise->finish();
        return future;
    }
    QPointer<WorkdayTracker> self(this);
    Net::pool().start([self, promise, api, jobs = std::move(jobs), dir = dir_] {
        // Results reach the main thread in order; the promise finishes with the
        // last of them, after the fields are set. A tracker gone by then drops
        // them, and the promise ends cancelled.
        const auto post = [&](std::function<void(WorkdayTracker&)> apply) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, apply = std::move(apply)] {
                    if (self)
                        apply(*self);
                },
                Qt::QueuedConnection);
        };
        for (const Job& job : jobs) {
            try {
                const QJsonArray spans = job.spans ? *job.spans : body(load(job.day, dir));
                // A day file that is gone or holds nothing readable would only
                // blank the day on the server.
                const bool send = job.spans || !spans.isEmpty();
                if (send)
                    api.uploadWorkday(job.day, spans);
                post([day = job.day, revision = job.revision, send](WorkdayTracker& t) { t.sent(day, revision, send); });
            } catch (...) {
                post([error = std::current_exception(), promise](WorkdayTracker& t) {
                    t.failed(error);
                    promise->setException(error);
                    promise->finish();
                });
                return;
            }
        }
        post([promise](WorkdayTracker&) { promise->finish(); });
    });
    return future;
}

void WorkdayTracker::sent(const QString& day, quint64 revision, bool uploaded)
{
    if (uploaded) {
        lastUpload_ = Clock::current().now();
        needsUpdate_ = false;
        lastError_.reset();
    }
    if (revisions_.value(day) == revision && pending_.remove(day))
        savePending();
}

void WorkdayTracker::failed(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const APIError& e) {
        if (e.isMissing())
            needsUpdate_ = true;
        lastError_ = e.description();
    } catch (...) {
        // Anything else leaves the upload state as it was.
    }
}
