// One recording: the access checks, the session and its recorder, the one-second
// tick, a capture the system stops, and the stop that hands the session to filing.
#include "app/AppController.h"

#include "app/Failure.h"
#include "app/Recovery.h"
#include "core/Fmt.h"
#include "core/Log.h"
#include "platform/Memory.h"
#include "platform/Wording.h"
#include "session/LiveMeter.h"

#include <QDir>

namespace {

QString yesNo(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

const QString screenSettingsText = QStringLiteral(
    "Allow Zelvan in System Settings › Privacy & Security › Screen & System Audio Recording, then quit and reopen "
    "Zelvan.");

} // namespace

void AppController::startRecording(const std::optional<Ports::CallHit>& hit)
{
    if (recorder || starting || saving)
        return;
    ports_.nudges->dismiss(QStringLiteral("call"));
    // Asking the display and the sound server blocks, so it runs off the main
    // thread; `starting` keeps a second start out meanwhile.
    starting = true;
    updateStatusTitle();
    struct Answer {
        bool preflight = false, works = false, mic = false;
    };
    auto answer = std::make_shared<Answer>();
    Ports::Capture* capture = ports_.capture;
    background(
        Lane::capture,
        [capture, answer] {
            answer->preflight = capture->screenPreflight();
            answer->works = answer->preflight || capture->screenWorks();
            if (answer->works)
                answer->mic = capture->micAvailable();
        },
        [hit, answer](AppController& c, const std::exception_ptr& error) {
            if (error) {
                c.startFailed(nullptr, Failure::text(error), true);
                return;
            }
            c.starting = false;
            c.updateStatusTitle();
            if (c.quitAfterSave) {
                c.terminate();
                return;
            }
            if (!answer->preflight)
                slog(QStringLiteral("screen access: preflight=false sck=") + yesNo(answer->works));
            if (!answer->works) {
                c.permissionAlert(QStringLiteral("Zelvan needs Screen Recording"),
                                  Wording::shown(
                                      screenSettingsText
                                      + QStringLiteral(
                                          " It is used for the screenshots, the call audio and window titles.\n\n"
                                          "Already switched on and still asked? Remove Zelvan there with "
                                          "“–”, add /Applications/Zelvan.app again with “+”, switch it on "
                                          "and reopen Zelvan.")),
                                  QStringLiteral("Privacy_ScreenCapture"));
                return;
            }
            c.startWithMic(hit, answer->mic);
        });
}

void AppController::startWithMic(const std::optional<Ports::CallHit>& hit, bool micAvailable)
{
    if (micAvailable)
        begin(hit, true);
    else
        micDenied(hit);
}

void AppController::micDenied(const std::optional<Ports::CallHit>& hit)
{
    const int chosen = ports_.application
                           ->ask(QStringLiteral("Microphone access is off"),
                                 Wording::shown(QStringLiteral(
                                     "Without the mic Zelvan records only the other side and your screen. To include "
                                     "your voice, allow Zelvan in System Settings › Privacy & Security › Microphone.")),
                                 {QStringLiteral("Kick in without mic"),
                                  Wording::shown(QStringLiteral("Open System Settings")), QStringLiteral("Cancel")});
    if (chosen == 0)
        begin(hit, false);
    else if (chosen == 1)
        openPrivacy(QStringLiteral("Privacy_Microphone"));
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
        startFailed(nullptr, QString::fromUtf8(e.what()), true);
        return;
    }
    session->meta().fromCall = hit.has_value();
    session->save();
    auto rec = Recorder::create(session, *ports_.devices);
    std::weak_ptr<Recorder> weakRec = rec;
    // A stream may fail while its start is still returning: kept until the start has answered.
    struct Started {
        bool answered = false;
        std::optional<QString> streamError;
    };
    auto started = std::make_shared<Started>();
    rec->onStreamError = weakly([weakRec, started](AppController& c, const QString& message) {
        if (!started->answered) {
            started->streamError = message;
            return;
        }
        // Only the running recording's own stream counts.
        if (!c.recorder || c.recorder != weakRec.lock())
            return;
        c.streamStopped(message);
    });
    rec->onWriteError = weakly([weakRec](AppController& c, const QString& message) {
        if (!c.recorder || c.recorder != weakRec.lock())
            return;
        c.recordingFailed(message);
    });
    rec->onEvent = weakly(
        [](AppController& c, FeedItem::Kind kind, const QString& text) { c.hud->add(FeedItem::label(kind), text); });
    // The capture thread calls this; the hearing outlives every recorder the
    // controller starts, and locks for itself.
    Ports::LiveHearing* hearingPort = hearing.get();
    rec->onMicBuffer = [hearingPort](const PcmBuffer& buffer) { hearingPort->append(buffer); };

    auto error = std::make_shared<std::optional<QString>>();
    auto screenOK = std::make_shared<bool>(true);
    Ports::Capture* capture = ports_.capture;
    // On the worker itself rather than background(): with the controller gone,
    // a capture that did start must still be finished.
    ports_.worker->run(
        Lane::capture,
        [rec, mic, error, screenOK, capture] {
            try {
                rec->start(mic);
            } catch (const std::exception& e) {
                *error = QString::fromUtf8(e.what());
                *screenOK = capture->screenPreflight();
            }
        },
        [weak = weak_from_this(), rec, session, hit, error, screenOK, started](const std::exception_ptr& thrown) {
            started->answered = true;
            if (thrown && !*error)
                *error = Failure::text(thrown);
            auto self = weak.lock();
            if (!self) {
                // Nobody is left to stop it: finish what was recorded.
                if (!*error)
                    rec->stop();
                return;
            }
            AppController& c = *self;
            if (*error) {
                c.startFailed(session, **error, *screenOK);
                return;
            }
            c.recorder = rec;
            c.recordingDir_ = session->dir();
            c.recordingFromCall = hit.has_value();
            c.starting = false;
            c.detector->resetForRecording();
            c.recTicks = 0;
            c.sampleRecordingApp(rec);
            rec->autoPinOn = c.settings.autoPin();
            c.hud->show(Clock::current().now().addMSecs(qint64(-rec->elapsed() * 1000)), rec->micOk());
            LiveMeter::shared().setActive(true);
            bool heard = false;
            if (rec->micOk() && c.settings.liveHearing()) {
                c.hearing->onPhrase = c.weakly([](AppController& c, const QString& phrase) {
                    c.hud->add(FeedItem::label(FeedItem::Kind::heard), phrase);
                });
                heard = c.hearing->start();
            }
            c.hud->setHearing(heard);
            c.beginTips();
            c.recTimer = c.ports_.scheduler->every(1, c.weakly([](AppController& c) { c.recordingTick(); }));
            c.updateStatusTitle();
            c.rebuildMenu();
            if (hit) {
                const bool micOn = rec->micOk();
                c.ports_.nudges->show({
                    .kind = QStringLiteral("recording"),
                    .priority = 2,
                    .icon = QStringLiteral("●"),
                    .title = QStringLiteral("Zelvan active on your ") + hit->app + QStringLiteral(" call"),
                    .message = micOn ? Wording::shown(QStringLiteral("Recording screen & audio: mic = you, system "
                                                                     "audio = the other side. ⌥⌘P adds a pin."))
                                     : QStringLiteral("Without your mic (permission off)."),
                    .buttons = {{QStringLiteral("Wrap up"), false, c.weakly([](AppController& c) { c.stopRecording(); })},
                                {QStringLiteral("OK"), true, {}}},
                    .timeout = 12,
                });
            }
            // The stream failed while the start was returning.
            if (started->streamError)
                c.streamStopped(*started->streamError);
            // A quit that came while the capture was starting.
            else if (c.quitAfterSave)
                c.stopRecording();
        });
}

void AppController::streamStopped(const QString& message)
{
    ports_.nudges->show({
        .kind = QStringLiteral("streamError"),
        .priority = 3,
        .title = Wording::shown(QStringLiteral("Session stopped by macOS")),
        .message = message + QStringLiteral("\nWhat was recorded so far is being saved."),
        .timeout = 15,
    });
    stopRecording();
}

void AppController::recordingFailed(const QString& message)
{
    const QString folder = recordingDir_;
    ports_.nudges->show({
        .kind = QStringLiteral("writeError"),
        .priority = 3,
        .title = QStringLiteral("Recording stopped: ") + message,
        .message = QStringLiteral("What was recorded until now is kept in ") + folder
            + QStringLiteral(" and goes up as usual."),
    });
    stopRecording();
}

void AppController::startFailed(const std::shared_ptr<Session>& session, const QString& error, bool screenOK)
{
    starting = false;
    if (session)
        QDir(session->dir()).removeRecursively();
    updateStatusTitle();
    rebuildMenu();
    slog(QStringLiteral("start failed: ") + Log::oneLine(error));
    if (quitAfterSave) {
        terminate();
        return;
    }
    const QString lower = error.toLower();
    if (screenOK && !lower.contains(QStringLiteral("declined")) && !lower.contains(QStringLiteral("permission")))
        ports_.application->ask(QStringLiteral("Could not kick in"), error, {QStringLiteral("OK")});
    else
        permissionAlert(QStringLiteral("Zelvan could not record the screen"),
                        Wording::shown(error + QStringLiteral("\n\n") + screenSettingsText),
                        QStringLiteral("Privacy_ScreenCapture"));
}

void AppController::recordingTick()
{
    updateStatusTitle();
    // An open menu shows the running clock.
    if (popover->isOpen())
        rebuildMenu();
    if (!recorder)
        return;
    ++recTicks;
    recorder->autoPinOn = settings.autoPin();
    if (recTicks % 2 == 0)
        sampleRecordingApp(recorder);
    liveTipTick(recorder);
    if (recTicks % 15 == 0 && !recorder->isCall()) {
        // A call that began during the recording makes it a call recording.
        std::shared_ptr<Recorder> rec = recorder;
        const bool micOk = rec->micOk();
        Ports::Capture* capture = ports_.capture;
        Ports::CallDetector* d = detector.get();
        auto hit = std::make_shared<std::optional<Ports::CallHit>>();
        background(
            Lane::local,
            [capture, d, micOk, hit] {
                const std::optional<bool> someone = micOk ? capture->othersUsingInput()
                                                          : capture->inputRunningSomewhere();
                if (someone.value_or(false))
                    *hit = d->identify();
            },
            [rec, hit](AppController& c) {
                if (*hit && c.recorder == rec)
                    rec->markCall((*hit)->app);
            });
    }
}

void AppController::sampleRecordingApp(const std::shared_ptr<Recorder>& rec)
{
    Ports::Capture* capture = ports_.capture;
    auto front = std::make_shared<std::optional<Ports::Capture::FrontApp>>();
    background(
        Lane::local, [capture, front] { *front = capture->frontApp(); },
        [rec, front](AppController& c) {
            if (*front && c.recorder == rec)
                rec->noteApp((*front)->name, (*front)->bundleID, (*front)->title);
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
    endTips();
    hearing->stop();
    hud->hide();
    LiveMeter::shared().setActive(false);
    LiveMeter::shared().setMic(0);
    for (const char* kind : {"callEnded", "recording", "tip"})
        ports_.nudges->dismiss(QLatin1String(kind));
    updateStatusTitle();
    rebuildMenu();

    // A stop that never returns would leave "saving" set for good, blocking every
    // new recording and every quit: the watchdog gives it up.
    const quint64 generation = ++stopGeneration_;
    auto session = std::make_shared<std::shared_ptr<Session>>();
    watchStop(generation, recordingDir_, rec, stopProgressOf(*rec));
    background(
        Lane::capture, [rec, session] { *session = rec->stop(); },
        [session, generation](AppController& c) {
            // The watchdog gave this stop up already.
            if (c.stopGeneration_ != generation || !c.saving)
                return;
            if (c.stopWatchdog) {
                c.ports_.scheduler->cancel(*c.stopWatchdog);
                c.stopWatchdog.reset();
            }
            c.saved(*session);
        });
}

quint64 AppController::stopProgressOf(const Recorder& rec) const
{
    return ports_.stopProgress ? ports_.stopProgress(rec) : rec.stopProgress();
}

// A long call's stop mixes for minutes: only a stop that makes no progress for
// the watchdog's time is given up.
void AppController::watchStop(quint64 generation, const QString& folder, const std::weak_ptr<Recorder>& rec,
                              quint64 seen)
{
    stopWatchdog = ports_.scheduler->after(stopWatchdogSeconds,
                                           weakly([generation, folder, rec, seen](AppController& c) {
                                               if (!c.saving || c.stopGeneration_ != generation)
                                                   return;
                                               const auto running = rec.lock();
                                               const quint64 now = running ? c.stopProgressOf(*running) : seen;
                                               if (now != seen)
                                                   c.watchStop(generation, folder, rec, now);
                                               else
                                                   c.stopHung(folder);
                                           }));
}

bool AppController::saveEnded()
{
    saving = false;
    detector->suppressCurrent();
    updateStatusTitle();
    rebuildMenu();
    if (!quitAfterSave)
        return false;
    terminate();
    return true;
}

void AppController::saved(const std::shared_ptr<Session>& session)
{
    // The recorder's buffers are gone: their pages go back to the system.
    background(Lane::local, [] { Memory::giveBack(); }, [](AppController&) {});
    // A quit waited for this save; the session stays on disk, finished and unfiled,
    // for the next pass of pending uploads.
    if (saveEnded())
        return;
    if (session)
        finish(session);
}

void AppController::stopHung(const QString& folder)
{
    ++stopGeneration_;
    stopWatchdog.reset();
    // Closing reads the session's audio tracks through: off the main thread, and
    // a quit does not wait for it (a stop that hung may mean a disk that hangs too;
    // the next launch closes what is left open).
    auto title = std::make_shared<QString>();
    background(
        Lane::transfer,
        [folder, title] {
            if (auto session = Session::load(folder)) {
                Recovery::closeInterrupted(*session);
                *title = session->meta().title;
            }
        },
        [title](AppController&) {
            slog(QStringLiteral("stop made no progress in %1 s: ").arg(int(stopWatchdogSeconds)) + Log::oneLine(*title)
                 + QStringLiteral(" closed as interrupted"));
        });
    if (saveEnded())
        return;
    ports_.nudges->show({
        .kind = QStringLiteral("stopHung"),
        .priority = 3,
        .title = QStringLiteral("Saving the recording got stuck"),
        .message = Wording::shown(QStringLiteral("What was recorded so far is kept on this Mac as an interrupted "
                                                 "session and goes up with the next upload retry.")),
        .timeout = 30,
    });
}
