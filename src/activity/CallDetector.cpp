#include "activity/CallDetector.h"

#include "activity/CallApps.h"
#include "core/Clock.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <algorithm>

CallDetector::CallDetector(MicUsage& mic, Windows& windows)
    : mic_(mic)
    , windows_(windows)
{
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

void CallDetector::start()
{
    timer_.start(intervalMs);
}

void CallDetector::resetForRecording()
{
    quietSince_.reset();
    endPrompted_ = false;
}

void CallDetector::suppressCurrent()
{
    offered_ = true;
}

void CallDetector::tick()
{
    if (asking_)
        return;
    const bool recording = isRecording();
    if (recording && !recordingFromCall())
        return;
    // Our own recording keeps the device running, so with the microphone recorded
    // only other users count.
    const bool othersOnly = recording && recordingUsesMic();
    const bool mayOffer = !recording && !offered_ && enabled();
    MicUsage& mic = mic_;
    Windows& windows = windows_;
    auto answer = std::make_shared<Answer>();
    asking_ = true;
    const auto ask = [&mic, &windows, answer, recording, othersOnly, mayOffer] {
        if (recording) {
            answer->busy = othersOnly ? mic.othersUsingInput() : mic.inputRunningSomewhere();
            return;
        }
        // Our own captures (a voice command) keep the input running, so only other
        // users arm the offer; the device's state stands in when they cannot be listed.
        answer->busy = mic.othersUsingInput();
        if (!answer->busy)
            answer->busy = mic.inputRunningSomewhere();
        if (answer->busy.value_or(false) && mayOffer)
            answer->hit = identify(mic, windows);
    };
    const auto answered = [this, alive = std::weak_ptr<bool>(alive_), answer, recording] {
        if (alive.expired())
            return;
        asking_ = false;
        // A recording that began or ended meanwhile makes the answer stale.
        if (isRecording() != recording)
            return;
        recording ? watched(*answer) : heard(*answer);
    };
    if (offMain) {
        offMain(ask, answered);
        return;
    }
    QThreadPool::globalInstance()->start([ask, answered, alive = std::weak_ptr<bool>(alive_)] {
        ask();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [answered, alive] {
            if (!alive.expired())
                answered();
        });
    });
}

void CallDetector::heard(const Answer& answer)
{
    if (!answer.busy)
        return;
    if (!*answer.busy) {
        offered_ = false;
        return;
    }
    if (offered_ || !enabled() || !answer.hit)
        return;
    const CallHit& hit = *answer.hit;
    offered_ = true;
    slog(QStringLiteral("call detected: ") + Log::oneLine(hit.app) + QStringLiteral(" “")
         + Log::oneLine(hit.title.value_or(QString())) + QStringLiteral("”"));
    onCallStart(hit);
}

void CallDetector::watched(const Answer& answer)
{
    // An answer that cannot be had changes nothing.
    if (!answer.busy)
        return;
    if (*answer.busy) {
        quietSince_.reset();
        return;
    }
    const double now = Clock::current().uptime();
    if (!quietSince_)
        quietSince_ = now;
    if (endPrompted_)
        return;
    if (now - *quietSince_ >= quietSeconds) {
        endPrompted_ = true;
        onCallEnded();
    }
}

std::optional<CallHit> CallDetector::identify(MicUsage& mic, Windows& windows)
{
    const std::vector<Windows::Win> wins = windows.list();
    const std::optional<std::vector<MicUsage::Proc>> users = mic.processesUsingInput();
    const auto title = [&](qint32 pid) { return Windows::frontTitle(wins, pid); };
    std::optional<std::vector<Windows::App>> apps;
    const auto running = [&]() -> const std::vector<Windows::App>& {
        if (!apps)
            apps = windows.runningApps();
        return *apps;
    };
    const auto browserCall = [&]() -> std::optional<CallHit> {
        for (const Windows::Win& w : wins) {
            const auto& all = running();
            const auto app = std::find_if(all.begin(), all.end(), [&](const Windows::App& a) { return a.pid == w.pid; });
            if (app == all.end() || !CallApps::browserName(app->id))
                continue;
            if (const std::optional<QString> service = CallApps::webCall(w.title))
                return CallHit{*service, w.title};
        }
        return std::nullopt;
    };

    // 1. Whoever takes the microphone, when it is a call application or a browser.
    if (users) {
        const auto ownPid = qint32(QCoreApplication::applicationPid());
        for (const MicUsage::Proc& p : *users) {
            if (p.pid == ownPid)
                continue;
            // A call application's sound may run in a helper process without
            // windows: its title comes from the application's windows.
            if (const std::optional<QString> name = CallApps::nativeName(p.bundleID)) {
                for (const Windows::App& app : running())
                    if (CallApps::nativeName(app.id) == name)
                        return CallHit{*name, title(app.pid)};
                return CallHit{*name, std::nullopt};
            }
            if (const std::optional<QString> browser = CallApps::browserName(p.bundleID)) {
                if (std::optional<CallHit> hit = browserCall())
                    return hit;
                return CallHit{*browser, std::nullopt};
            }
        }
    }
    // 2. The application in front.
    if (const std::optional<Windows::App> front = windows.frontApp(); front && !front->id.isEmpty()) {
        if (const std::optional<QString> name = CallApps::nativeName(front->id))
            return CallHit{*name, title(front->pid)};
        if (CallApps::browserName(front->id)) {
            const std::optional<QString> t = title(front->pid);
            if (t)
                if (const std::optional<QString> service = CallApps::webCall(*t))
                    return CallHit{*service, t};
        }
    }
    // 3. A call in any browser window.
    if (std::optional<CallHit> hit = browserCall())
        return hit;
    // 4. Somebody uses the microphone, and it is none of the above.
    if (users && !users->empty())
        return std::nullopt;
    // 5. Nobody can be seen using it: a running call application, except the chat
    // applications that are open all day.
    for (const Windows::App& app : running()) {
        const std::optional<QString> name = CallApps::nativeName(app.id);
        if (name && *name != QLatin1String("Slack") && *name != QLatin1String("Teams"))
            return CallHit{*name, title(app.pid)};
    }
    return std::nullopt;
}
