// What the controller does once the application is up.
#include "app/AppController.h"

#include "platform/AppId.h"
#include "core/Log.h"
#include "menu/MenuModel.h"

#include <QtGlobal>

namespace {

// ["a", "b"]
QString quotedList(const QStringList& items)
{
    QStringList quoted;
    for (const QString& s : items)
        quoted << u'"' + s + u'"';
    return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

// A call window's title as the call nudge shows it.
QString shortTitle(const QString& title)
{
    return title.size() > 70 ? title.left(69) + QStringLiteral("…") : title;
}

} // namespace

void AppController::launch()
{
    ports_.notify->setup();

    Ports::StatusItem& item = *ports_.statusItem;
    item.create();
    item.setIcon(false, true);
    item.setToolTip(idleToolTip);
    item.onClick = weakly([](AppController& c) { c.statusClicked(); });
    statusCreated = true;

    wireCallbacks();
    registerHotKeys();
    wireCallDetector();
    // A diagnostic run beside a running instance starts no detector, timers,
    // recovery or retries: they belong to that instance.
    if (!diagnostic()) {
        detector->start();
        startTimers();
    }
    signIn->onSignedIn = weakly([](AppController& c) {
        // Answers asked for under the previous account no longer apply.
        ++c.accountGeneration;
        c.ports_.board->signedIn();
        c.refreshAccount(c.weakly([](AppController& c) { c.signInFinished(); }));
    });
    if (!diagnostic()) {
        recoverInterrupted([](AppController& c) {
            // The pending sessions include those just recovered.
            if (c.args_.contains(QStringLiteral("--retry-pending")))
                c.retryUploads();
        });
        // Days a previous run could not send in full go out now.
        catchUpWorkday();
    }
    rebuildMenu();
    refreshAccount(weakly([](AppController& c) {
        if (!c.diagnostic())
            c.retryPersonal(false);
    }));
    refreshTodos();
    slog(QStringLiteral("launched ") + QLatin1String(appId) + u' ' + launchSummary());
    handleLaunchSwitches();
}

QString AppController::launchSummary()
{
    if (accounts.signedIn()) {
        QStringList slugs;
        for (const Workspace& w : settings.projects())
            slugs << w.slug.value_or(QString());
        return QStringLiteral("account=") + settings.accountEmail().value_or(QStringLiteral("-"))
            + QStringLiteral(" projects=") + quotedList(slugs) + QStringLiteral(" base=") + settings.platformBase();
    }
    QStringList names;
    for (const auto& [w, api] : accounts.connected())
        names << w.name;
    return QStringLiteral("not signed in, legacy=") + quotedList(names);
}

void AppController::wireCallbacks()
{
    popover->onOpen = weakly([](AppController& c) {
        c.rebuildMenu();
        const auto& loaded = c.todos->loaded();
        if (!loaded || loaded->secsTo(Clock::current().now()) >= 60)
            c.refreshTodos();
    });
    ports_.nudges->avoid = [weak = weak_from_this()]() -> std::optional<QRect> {
        auto self = weak.lock();
        return self ? self->hud->frame() : std::nullopt;
    };
    // The first sample of a new local day: the days before it go out at once,
    // and the regular upload counts from here.
    QObject::connect(tracker.get(), &WorkdayTracker::dayChanged, &flowContext_, [weak = weak_from_this()] {
        if (auto c = weak.lock()) {
            c->lastWorkdayUpload = Clock::current().now();
            c->catchUpWorkday();
        }
    });
    hud->stop = weakly([](AppController& c) { c.stopRecording(); });
    hud->pin = weakly([](AppController& c) { c.addPin(); });
    hud->voice = weakly([](AppController& c) {
        if (!c.voiceHeld) {
            c.voiceByClick = true;
            c.voiceDown();
        } else {
            c.voiceUp();
        }
    });
}

void AppController::registerHotKeys()
{
    Ports::HotKeys& keys = *ports_.hotKeys;
    keys.registerKey(1, Qt::Key_R, weakly([](AppController& c) {
                         if (c.recorder)
                             c.stopRecording();
                         else if (!c.starting && !c.saving)
                             c.startRecording();
                     }),
                     {});
    keys.registerKey(2, Qt::Key_P, weakly([](AppController& c) { c.addPin(); }), {});
    voiceKeyOK = keys.registerKey(3, Qt::Key_Space, weakly([](AppController& c) { c.voiceDown(); }),
                                  weakly([](AppController& c) { c.voiceUp(); }));
}

void AppController::wireCallDetector()
{
    Ports::CallDetector& d = *detector;
    d.isRecording = weakQuery([](AppController& c) { return c.recorder || c.starting || c.saving; });
    d.recordingUsesMic = weakQuery([](AppController& c) { return c.recorder && c.recorder->micOk(); });
    d.recordingFromCall = weakQuery([](AppController& c) { return c.recordingFromCall; });
    d.enabled = weakQuery([](AppController& c) { return c.settings.offerCalls(); });
    d.onCallStart = weakly([](AppController& c, const Ports::CallHit& hit) { c.callStarted(hit); });
    d.onCallEnded = weakly([](AppController& c) { c.callEnded(); });
    d.offMain = weakly([](AppController& c, std::function<void()> ask, std::function<void()> answered) {
        c.background(Lane::local, std::move(ask), [answered = std::move(answered)](AppController&) { answered(); });
    });
}

void AppController::callStarted(const Ports::CallHit& hit)
{
    if (recorder || starting)
        return;
    if (settings.autoRecordCalls()) {
        startRecording(hit);
        return;
    }
    QString message;
    if (hit.title)
        message = QStringLiteral("“") + shortTitle(*hit.title) + QStringLiteral("”\n");
    message += QStringLiteral("Records screen & audio: mic = you, system audio = the other side. "
                              "You choose where it goes after.");
    ports_.nudges->show({
        .kind = QStringLiteral("call"),
        .priority = 3,
        .icon = QStringLiteral("●"),
        .title = QStringLiteral("Call in ") + hit.app + QStringLiteral(" — kick in?"),
        .message = message,
        .buttons = {{QStringLiteral("Not now"), false, weakly([](AppController& c) { c.detector->suppressCurrent(); })},
                    {QStringLiteral("Kick in"), true, weakly([hit](AppController& c) { c.startRecording(hit); })}},
        .timeout = 60,
    });
}

void AppController::callEnded()
{
    if (!recorder)
        return;
    ports_.nudges->show({
        .kind = QStringLiteral("callEnded"),
        .priority = 3,
        .icon = QStringLiteral("■"),
        .title = QStringLiteral("Call ended — wrap up?"),
        .message = QStringLiteral("Nobody else has used the mic for 20 seconds."),
        .buttons = {{QStringLiteral("Keep going"), false,
                     weakly([](AppController& c) { c.detector->resetForRecording(); })},
                    {QStringLiteral("Wrap up"), true, weakly([](AppController& c) { c.stopRecording(); })}},
    });
}

void AppController::startTimers()
{
    activityTimer = ports_.scheduler->every(WorkdayTracker::interval,
                                            weakly([](AppController& c) { c.activityTick(); }));
    todoTimer = ports_.scheduler->every(300, weakly([](AppController& c) {
                                            c.refreshTodos();
                                            c.retryPersonal(false);
                                        }));
}

void AppController::handleLaunchSwitches()
{
    if (args_.contains(QStringLiteral("--sign-in")) && !diagnostic())
        startSignIn();
    if (args_.contains(QStringLiteral("--ui-check")))
        uiCheck();
    if (args_.contains(QStringLiteral("--dump-menu"))) {
        double delay = 4;
        const qsizetype i = args_.indexOf(QStringLiteral("--dump-menu-delay"));
        if (i >= 0 && i + 1 < args_.size()) {
            bool ok = false;
            const double d = args_[i + 1].toDouble(&ok);
            if (ok && qIsFinite(d) && d >= 0)
                delay = d;
        }
        dumpMenuLater(delay);
    }
}

void AppController::dumpMenuLater(double delay)
{
    ports_.scheduler->after(delay, weakly([](AppController& c) {
                                c.rebuildMenu();
                                const QString dump = c.ports_.menu->model().s().dump();
                                c.ports_.application->print(dump);
                                slog(QStringLiteral("menu dump:\n") + dump);
                                c.terminate();
                            }));
}
