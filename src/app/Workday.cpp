// The work day: sampling and upload, the break, workout and end-of-day
// reminders, and the end-of-day summary.
#include "app/AppController.h"

#include "activity/Idle.h"
#include "app/Failure.h"
#include "core/Fmt.h"
#include "core/Log.h"
#include "ui/WrapModel.h"

#include <QFuture>

namespace {

// A summary that has not started by the fourth answer never will.
constexpr int noneAnswers = 3;
// The window gives up after this many answers more than the first (about 7 minutes).
constexpr int runningAnswers = 83;
constexpr double wrapPollSeconds = 5;

} // namespace

void AppController::activityTick()
{
    const double idle = ports_.idleSeconds ? ports_.idleSeconds() : Idle::seconds();
    const QDateTime now = Clock::current().now();

    if (settings.trackWorkday()) {
        tracker->sample(settings.includeTitles(), now);
        if (lastWorkdayUpload.secsTo(now) >= 900) {
            lastWorkdayUpload = now;
            uploadWorkday();
        }
    }

    // Called on every tick, so the coach's streak stays current.
    const bool breakDue = coach().activity(idle, now, settings.breakMinutes());
    const bool free = !recorder && !starting && !ports_.nudges->current() && idle < Idle::threshold;
    if (!free)
        return;

    // One reminder per tick: a second one would replace the first at once, and
    // only the one shown is marked shown for the day.
    if (settings.breakReminders() && breakDue) {
        ports_.nudges->show({
            .kind = QStringLiteral("break"),
            .priority = 1,
            .title = QStringLiteral("Time for a break — ") + QString::number(coach().activeMinutes())
                + QStringLiteral(" min straight"),
            .message = coach().nextTip(),
            .buttons = {{QStringLiteral("In 10 min"), false, weakly([](AppController& c) { c.coach().snooze(10); })},
                        {QStringLiteral("Taking it"), true, weakly([](AppController& c) { c.coach().tookBreak(); })}},
            .stacked = false,
            .timeout = 180,
            .onTimeout = weakly([](AppController& c) { c.coach().snooze(10); }),
        });
        return;
    }
    if (settings.workoutOn() && coach().due(QStringLiteral("workout"), settings.workoutMinute(), now)) {
        coach().markShown(QStringLiteral("workout"));
        ports_.nudges->show({
            .kind = QStringLiteral("workout"),
            .priority = 1,
            .title = QStringLiteral("Workout time"),
            .message = QStringLiteral("Move your body for a bit — the to-dos will still be here."),
            .buttons = {{QStringLiteral("In 30 min"), false, weakly([](AppController& c) {
                             c.coach().clearShown(QStringLiteral("workout"));
                             c.coach().snoozeReminder(QStringLiteral("workout"), 30);
                         })},
                        {QStringLiteral("On it"), true, {}}},
            .stacked = false,
            .timeout = 300,
        });
        return;
    }
    if (settings.wrapOn() && accounts.homeAPI() && coach().due(QStringLiteral("wrap"), settings.wrapMinute(), now)) {
        coach().markShown(QStringLiteral("wrap"));
        ports_.nudges->show({
            .kind = QStringLiteral("wrap"),
            .priority = 1,
            .title = QStringLiteral("End your day?"),
            .message = QStringLiteral("Zelvan summarises today and adds the follow-ups to your inbox."),
            .buttons = {{QStringLiteral("Later"), false, weakly([](AppController& c) {
                             c.coach().clearShown(QStringLiteral("wrap"));
                             c.coach().snoozeReminder(QStringLiteral("wrap"), 30);
                         })},
                        {QStringLiteral("End my day"), true, weakly([](AppController& c) { c.wrapUp(); })}},
            .stacked = false,
            .timeout = 600,
        });
    }
}

void AppController::uploadWorkday()
{
    if (!settings.trackWorkday())
        return;
    const std::optional<API> api = accounts.homeAPI();
    if (!api)
        return;
    std::weak_ptr<AppController> weak = weak_from_this();
    tracker->upload(*api).then(&flowContext_, [weak](QFuture<void> done) {
        auto self = weak.lock();
        if (!self)
            return;
        try {
            done.waitForFinished();
            slog(QStringLiteral("workday uploaded (") + QString::number(self->tracker->spans().size())
                 + QStringLiteral(" spans)"));
        } catch (...) {
            slog(QStringLiteral("workday upload: ") + Log::oneLine(Failure::text(std::current_exception())));
        }
        self->rebuildMenu();
    });
}

void AppController::wrapUp()
{
    const std::optional<Workspace> ws = accounts.home();
    const std::optional<API> api = accounts.apiFor(ws);
    if (!api)
        return;
    // A run still polling for an earlier window stops here.
    if (wrapTimer) {
        ports_.scheduler->cancel(*wrapTimer);
        wrapTimer.reset();
    }
    const quint64 generation = ++wrapGeneration;
    wrapModel = std::make_shared<WrapModel>();
    wrapModel->setPhase(QStringLiteral("Uploading today’s activity…"));
    wrapModel->setRunning(true);
    wrapModel->board = ws->link(QStringLiteral("board"));
    windows->showWrap(wrapModel, weakly([generation](AppController& c) {
                          // Closing the window ends its run: nothing is left to show the answers.
                          if (generation != c.wrapGeneration)
                              return;
                          ++c.wrapGeneration;
                          if (c.wrapTimer) {
                              c.ports_.scheduler->cancel(*c.wrapTimer);
                              c.wrapTimer.reset();
                          }
                          c.wrapModel.reset();
                      }));
    // The day the summary is for, fixed now; the upload sends this same day.
    const QString day = Fmt::day(Clock::current().now());

    auto start = weakly([generation, day, api = *api](AppController& c) {
        if (generation != c.wrapGeneration)
            return;
        c.wrapModel->setPhase(QStringLiteral("Writing your end-of-day summary — this takes 1–3 minutes…"));
        auto error = std::make_shared<std::exception_ptr>();
        c.background(
            Lane::network,
            [api, day, error] {
                try {
                    api.startWrap(day);
                } catch (...) {
                    *error = std::current_exception();
                }
            },
            [generation, day, api, error](AppController& c) {
                if (*error)
                    c.wrapFailed(generation, *error);
                else
                    c.wrapPoll(generation, day, api, 0);
            });
    });

    if (!settings.trackWorkday()) {
        start();
        return;
    }
    tracker->sample(settings.includeTitles());
    std::weak_ptr<AppController> weak = weak_from_this();
    tracker->upload(*api, day).then(&flowContext_, [weak, generation, start](QFuture<void> done) {
        auto self = weak.lock();
        if (!self)
            return;
        try {
            done.waitForFinished();
        } catch (...) {
            self->wrapFailed(generation, std::current_exception());
            return;
        }
        start();
    });
}

// Waits, asks for the summary's state, and decides by the number of answers so far.
void AppController::wrapPoll(quint64 generation, const QString& day, const API& api, int answers)
{
    if (generation != wrapGeneration)
        return;
    wrapTimer = ports_.scheduler->after(
        wrapPollSeconds, weakly([generation, day, api, answers](AppController& c) {
            if (generation != c.wrapGeneration)
                return;
            c.wrapTimer.reset();
            auto status = std::make_shared<WrapStatus>();
            auto error = std::make_shared<std::exception_ptr>();
            c.background(
                Lane::network,
                [api, day, status, error] {
                    try {
                        *status = api.wrapStatus(day);
                    } catch (...) {
                        *error = std::current_exception();
                    }
                },
                [generation, day, api, answers, status, error](AppController& c) {
                    if (generation != c.wrapGeneration)
                        return;
                    if (*error) {
                        c.wrapFailed(generation, *error);
                        return;
                    }
                    WrapModel& m = *c.wrapModel;
                    if (status->status == QLatin1String("done")) {
                        m.setSummary(status->summary);
                        m.setHighlights(status->highlights);
                        m.setTomorrow(status->tomorrow);
                        m.setCards(status->cards);
                        m.setRunning(false);
                    } else if (status->status == QLatin1String("error")) {
                        m.setError(
                            status->error.value_or(QStringLiteral("The end-of-day summary failed on the server.")));
                        m.setRunning(false);
                    } else if (status->status == QLatin1String("none") && answers >= noneAnswers) {
                        m.setError(QStringLiteral("The server did not start the end-of-day summary."));
                        m.setRunning(false);
                    } else if (status->status != QLatin1String("none") && answers == runningAnswers) {
                        m.setError(QStringLiteral("Still running — the result will be on the board."));
                        m.setRunning(false);
                    } else {
                        c.wrapPoll(generation, day, api, answers + 1);
                    }
                });
        }));
}

void AppController::wrapFailed(quint64 generation, const std::exception_ptr& error)
{
    if (generation != wrapGeneration || !wrapModel)
        return;
    wrapModel->setError(Failure::isMissing(error)
                            ? QStringLiteral("This workspace needs an update before it can end your day.")
                            : Failure::text(error));
    wrapModel->setRunning(false);
}
