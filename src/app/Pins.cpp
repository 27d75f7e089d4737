// Pins taken by hand, and the live tips the platform's coach gives while a
// session records.
#include "app/AppController.h"

#include "core/Fmt.h"
#include "core/Log.h"
#include "core/Numbers.h"
#include "session/PinCapture.h"
#include "session/PinQueue.h"
#include "session/Router.h"
#include "session/ScreenGrab.h"

#include <QJsonArray>
#include <QTimeZone>

namespace {

class SystemGrabs final : public Ports::Grabs {
public:
    void selectRegion(Completion done) override { PinCapture::selectRegion(std::move(done)); }
    std::optional<QString> askNote(const QByteArray& jpeg, bool recording) override
    {
        return PinCapture::askNote(jpeg, recording);
    }
    void mainDisplay(Completion done) override { ScreenGrab::mainDisplay(std::move(done)); }
};

// Far enough ahead that no tip falls due while nothing records.
QDateTime distantFuture()
{
    return QDateTime(QDate(4001, 1, 1), QTime(0, 0), QTimeZone::utc());
}

QJsonObject coachBody(const Recorder::LiveSnapshot& s, double elapsed)
{
    QJsonArray ocr, apps, pins;
    for (const OcrEntry& e : s.ocr)
        ocr.append(e.dict());
    for (const AppSpan& a : s.apps)
        apps.append(a.dict());
    for (const PinMeta& p : s.pins)
        pins.append(QJsonObject{{QStringLiteral("t"), p.t}, {QStringLiteral("note"), p.note}});
    return QJsonObject{
        {QStringLiteral("started"), Fmt::iso(s.started)},
        {QStringLiteral("t"), round1(elapsed)},
        {QStringLiteral("ocr"), ocr},
        {QStringLiteral("apps"), apps},
        {QStringLiteral("pins"), pins},
        {QStringLiteral("kind"), s.kind},
    };
}

} // namespace

Ports::Grabs& Ports::Grabs::system()
{
    static SystemGrabs grabs;
    return grabs;
}

Ports::Grabs& AppController::grabs()
{
    return ports_.grabs ? *ports_.grabs : Ports::Grabs::system();
}

void AppController::addPin()
{
    if (pinning)
        return;
    pinning = true;
    ports_.nudges->dismiss(QStringLiteral("tip"));
    rebuildMenu();
    grabs().selectRegion(weakly([](AppController& c, std::optional<QByteArray> jpeg) {
        if (jpeg) {
            const std::shared_ptr<Recorder> asked = c.recorder;
            const std::optional<double> t = asked ? std::optional(asked->elapsed()) : std::nullopt;
            if (const auto note = c.grabs().askNote(*jpeg, bool(asked))) {
                // The recording may have started or stopped while the note was asked for.
                if (c.recorder) {
                    c.recorder->addPin(*jpeg, *note, c.recorder == asked ? t : std::nullopt);
                    c.hud->add(FeedItem::label(FeedItem::Kind::pinned),
                               note->isEmpty() ? QStringLiteral("a region of the screen") : *note);
                } else {
                    PinQueue::add(*jpeg, *note, false);
                }
                slog(QStringLiteral("pin added (") + (c.recorder ? "recording" : "queue") + QStringLiteral("): ")
                     + Log::oneLine(*note));
            }
        }
        c.pinning = false;
        c.rebuildMenu();
    }));
}

void AppController::sendPins()
{
    // Reading the queued images and writing the session blocks: off the main thread.
    auto session = std::make_shared<std::shared_ptr<Session>>();
    background(
        Lane::local, [session] { *session = PinQueue::toSession(std::nullopt); },
        [session](AppController& c) {
            if (!*session)
                return;
            c.sessionsChanged();
            c.finish(*session);
        });
}

void AppController::beginTips()
{
    ++tipGeneration;
    tipNextAt = Clock::current().now().addSecs(60);
    tipSentOcr = 0;
    tipWS.reset();
    tipSuggest.reset();
    tipBusy = false;
    tipsOff = false;
}

void AppController::endTips()
{
    ++tipGeneration;
    tipNextAt = distantFuture();
    tipBusy = false;
    ports_.nudges->dismiss(QStringLiteral("tip"));
}

void AppController::liveTipTick(const std::shared_ptr<Recorder>& rec)
{
    if (!rec || !settings.liveTips() || tipsOff || tipBusy || pinning || voiceHeld || voice->listening())
        return;
    const QDateTime now = Clock::current().now();
    if (!tipNextAt.isValid() || now < tipNextAt)
        return;
    Recorder::LiveSnapshot snapshot = ports_.liveSnapshot ? ports_.liveSnapshot(*rec, tipSentOcr)
                                                          : rec->liveSnapshot(tipSentOcr);
    // The coach is only asked when the screen showed new text.
    if (snapshot.ocr.empty()) {
        tipNextAt = now.addSecs(60);
        return;
    }
    tipBusy = true;
    askTip(rec, std::move(snapshot));
}

// The project the coach is asked through, chosen once per recording.
void AppController::askTip(const std::shared_ptr<Recorder>& rec, Recorder::LiveSnapshot snapshot)
{
    const auto targets = accounts.connected();
    if (tipWS || targets.empty()) {
        sendTip(rec, snapshot);
        return;
    }
    const quint64 generation = tipGeneration;
    auto shared = std::make_shared<Recorder::LiveSnapshot>(std::move(snapshot));
    auto suggestion = std::make_shared<Suggestion>();
    background(
        Lane::local,
        [targets, shared, suggestion] {
            const SessionMeta& m = shared->meta;
            auto results = Router::scoreAll(targets, m.title, m.app, {}, Router::text(m)).result();
            *suggestion = Router::suggest(std::move(results), shared->kind == QLatin1String("call"), false);
        },
        [rec, shared, suggestion, generation](AppController& c) {
            if (generation != c.tipGeneration)
                return;
            c.tipSuggest = *suggestion;
            if (suggestion->project)
                c.tipWS = suggestion->project->ws;
            c.sendTip(rec, *shared);
        });
}

void AppController::sendTip(const std::shared_ptr<Recorder>& rec, const Recorder::LiveSnapshot& snapshot)
{
    if (!tipWS)
        tipWS = accounts.home();
    const std::optional<API> api = accounts.apiFor(tipWS);
    if (!api) {
        tipsOff = true;
        tipBusy = false;
        return;
    }
    const quint64 generation = tipGeneration;
    const QString name = tipWS->name;
    const QJsonObject body = coachBody(snapshot, rec->elapsed());
    const int ocrCount = snapshot.ocrCount;
    struct Outcome {
        API::Coaching coaching;
        std::optional<APIError> error;
        QString other;
    };
    auto out = std::make_shared<Outcome>();
    background(
        Lane::network,
        [api = *api, body, out] {
            try {
                out->coaching = api.coachLive(body);
            } catch (const APIError& e) {
                out->error = e;
            } catch (const std::exception& e) {
                out->other = QString::fromUtf8(e.what());
            }
        },
        [rec, out, generation, name, ocrCount](AppController& c) {
            // An answer for an earlier recording must not touch this one's state.
            if (generation != c.tipGeneration)
                return;
            c.tipBusy = false;
            const QDateTime now = Clock::current().now();
            if (out->error && out->error->isMissing()) {
                c.tipsOff = true;
                slog(QStringLiteral("coach/live @ ") + Log::oneLine(name)
                     + QStringLiteral(": 404, live tips off for this recording (workspace needs an update)"));
                return;
            }
            if (out->error || !out->other.isEmpty()) {
                c.tipNextAt = now.addSecs(120);
                slog(QStringLiteral("coach/live @ ") + Log::oneLine(name) + QStringLiteral(": ")
                     + Log::oneLine(out->error ? out->error->description() : out->other));
                return;
            }
            c.tipSentOcr = ocrCount;
            const auto& next = out->coaching.nextAfter;
            c.tipNextAt = now.addMSecs(qint64((next ? std::max(*next, 30.0) : 60.0) * 1000));
            if (out->coaching.tip && c.recorder == rec && !c.pinning)
                c.showTip(*out->coaching.tip);
        });
}

void AppController::showTip(const LiveTip& tip)
{
    hud->add(FeedItem::label(FeedItem::Kind::tip), tip.title);
    QString message = tip.body;
    std::vector<Ports::Nudges::Button> buttons{{QStringLiteral("Got it"), !tip.cardTitle, {}}};
    if (tip.cardTitle) {
        message += QStringLiteral("\nCard: ") + *tip.cardTitle;
        const QString suggested = tipSuggest && tipSuggest->project && tipSuggest->project->ws.slug
            ? *tipSuggest->project->ws.slug
            : FiledRef::personal;
        buttons.push_back({QStringLiteral("Add as card…"), true,
                           weakly([title = *tip.cardTitle, why = tip.cardWhy, suggested](AppController& c) {
                               c.askCard(title, why, suggested, std::nullopt);
                           })});
    }
    ports_.nudges->show({
        .kind = QStringLiteral("tip"),
        .priority = 1,
        .title = tip.title,
        .message = message,
        .buttons = std::move(buttons),
        .stacked = false,
        .timeout = 45,
    });
}
