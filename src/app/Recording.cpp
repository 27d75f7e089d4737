// Start and stop of a recording, as far as the controller's lifecycle needs them:
// the session and its recorder, the guard flags, and the save that a quit waits for.
#include "app/AppController.h"

#include "core/Fmt.h"
#include "core/Log.h"

#include <QDir>

void AppController::startRecording(const std::optional<Ports::CallHit>& hit)
{
    if (recorder || starting || saving)
        return;
    ports_.nudges->dismiss(QStringLiteral("call"));
    begin(hit, true);
}

void AppController::begin(const std::optional<Ports::CallHit>& hit, bool mic)
{
    if (recorder || starting)
        return;
    starting = true;
    updateStatusTitle();
    rebuildMenu();

    const QString title = hit ? detector->recordingTitle(*hit)
                              : QStringLiteral("Work session · ") + Fmt::human(Clock::current().now());
    const QString app = hit ? hit->app : QStringLiteral("Screen");
    std::shared_ptr<Session> session;
    try {
        session = Session::create(title, app);
    } catch (const std::exception& e) {
        starting = false;
        updateStatusTitle();
        rebuildMenu();
        slog(QStringLiteral("start failed: ") + QString::fromStdString(e.what()));
        return;
    }
    session->meta().fromCall = hit.has_value();
    session->save();
    auto rec = Recorder::create(session, *ports_.devices);
    auto error = std::make_shared<std::optional<QString>>();
    ports_.worker->run(
        [rec, mic, error] {
            try {
                rec->start(mic);
            } catch (const std::exception& e) {
                *error = QString::fromStdString(e.what());
            }
        },
        [weak = weak_from_this(), rec, session, hit, error] {
            auto self = weak.lock();
            if (!self) {
                // Nobody is left to stop it: finish what was recorded.
                if (!*error)
                    rec->stop();
                return;
            }
            AppController& c = *self;
            c.starting = false;
            if (*error) {
                QDir(session->dir()).removeRecursively();
                c.updateStatusTitle();
                c.rebuildMenu();
                slog(QStringLiteral("start failed: ") + Log::oneLine(**error));
                if (c.quitAfterSave)
                    c.terminate();
                return;
            }
            c.recorder = rec;
            c.recordingFromCall = hit.has_value();
            c.detector->resetForRecording();
            c.recTicks = 0;
            rec->autoPinOn = c.settings.autoPin();
            c.hud->show(Clock::current().now().addMSecs(qint64(-rec->elapsed() * 1000)), rec->micOk());
            c.recTimer = c.ports_.scheduler->every(1, c.weakly([](AppController& c) {
                c.updateStatusTitle();
                if (c.recorder)
                    ++c.recTicks;
            }));
            c.updateStatusTitle();
            c.rebuildMenu();
            // A quit that came while the capture was starting.
            if (c.quitAfterSave)
                c.stopRecording();
        });
}

void AppController::stopRecording()
{
    if (!recorder || saving)
        return;
    saving = true;
    std::shared_ptr<Recorder> rec = std::move(recorder);
    recorder.reset();
    recordingFromCall = false;
    if (recTimer) {
        ports_.scheduler->cancel(*recTimer);
        recTimer.reset();
    }
    hearing->stop();
    hud->hide();
    for (const char* kind : {"callEnded", "recording", "tip"})
        ports_.nudges->dismiss(QLatin1String(kind));
    updateStatusTitle();
    rebuildMenu();
    auto session = std::make_shared<std::shared_ptr<Session>>();
    ports_.worker->run([rec, session] { *session = rec->stop(); },
                       [weak = weak_from_this(), session] {
                           if (auto self = weak.lock())
                               self->saved(*session);
                       });
}

void AppController::saved(const std::shared_ptr<Session>&)
{
    saving = false;
    detector->suppressCurrent();
    updateStatusTitle();
    rebuildMenu();
    // A quit waited for this save; the session stays on disk, finished and unfiled.
    if (quitAfterSave)
        terminate();
}
