// Push-to-talk voice commands: a screenshot pin, a spoken note, or a card.
#include "app/AppController.h"

#include "activity/VoiceIntent.h"
#include "core/Log.h"
#include "core/Strings.h"
#include "platform/KeyModifiers.h"
#include "platform/Wording.h"
#include "session/NoteCard.h"
#include "session/PinQueue.h"

namespace {

constexpr double pollSeconds = 0.2;
constexpr double maxListenSeconds = 60;

QString intentName(const VoiceIntent& intent)
{
    switch (intent.kind) {
    case VoiceIntent::Kind::screenshot:
        return QStringLiteral("screenshot(") + intent.text + u')';
    case VoiceIntent::Kind::note:
        return QStringLiteral("note(") + intent.text + u')';
    case VoiceIntent::Kind::card:
        return QStringLiteral("card(") + intent.text + u')';
    case VoiceIntent::Kind::unknown:
        break;
    }
    return QStringLiteral("unknown(") + intent.text + u')';
}

bool voiceKeysHeldNow()
{
    // A desktop that cannot tell ends the command rather than listening for a minute.
    const auto held = KeyModifiers::current();
    return held && held->control && held->alt;
}

} // namespace

bool AppController::runningIs(const std::weak_ptr<Recorder>& rec) const
{
    // Compared by owner, so a recorder made later at the same address is another one.
    return recorder && !rec.expired() && !rec.owner_before(recorder) && !recorder.owner_before(rec);
}

void AppController::voiceDown()
{
    // Read and cleared before the guards, so that a click that changed nothing
    // does not turn the next key press into a click.
    const bool byClick = std::exchange(voiceByClick, false);
    if (voiceHeld || pinning || voice->listening())
        return;
    voiceHeld = true;
    voiceClickMode_ = byClick;
    voiceAt = recorder ? std::optional(recorder->elapsed()) : std::nullopt;
    voiceRec = recorder;
    ports_.nudges->dismiss(QStringLiteral("tip"));
    voice->authorize(weakly([](AppController& c, bool granted, const QString& message) {
        if (!granted) {
            c.voiceHeld = false;
            c.pill->show(false,
                         message.isEmpty() ? QStringLiteral("Voice commands need speech and mic access.") : message, 6);
            return;
        }
        // The key went up while the question was open.
        if (!c.voiceHeld)
            return;
        c.voice->onPartial = c.weakly([](AppController& c, const QString& text) { c.pill->update(text); });
        try {
            c.voice->start();
        } catch (const std::exception& e) {
            c.voiceHeld = false;
            c.pill->show(false, QString::fromUtf8(e.what()), 4);
            return;
        }
        c.pill->show(true, c.voiceClickMode_ ? QStringLiteral("Listening… click Voice again when done") : QString(),
                     std::nullopt);
        c.hud->setListening(true);
        c.voiceStarted_ = Clock::current().uptime();
        c.voicePoll = c.ports_.scheduler->every(pollSeconds, c.weakly([](AppController& c) {
            if (!c.voiceClickMode_) {
                const bool held = c.ports_.voiceKeysHeld ? c.ports_.voiceKeysHeld() : voiceKeysHeldNow();
                if (!held) {
                    c.voiceUp();
                    return;
                }
            }
            if (Clock::current().uptime() - c.voiceStarted_ > maxListenSeconds)
                c.voiceUp();
        }));
    }));
}

void AppController::voiceUp()
{
    if (voicePoll) {
        ports_.scheduler->cancel(*voicePoll);
        voicePoll.reset();
    }
    if (!voiceHeld)
        return;
    voiceHeld = false;
    hud->setListening(false);
    if (!voice->listening())
        return;
    const QString heard = voice->text();
    pill->show(false, heard.isEmpty() ? QStringLiteral("…") : heard, std::nullopt);
    voice->stop(weakly([](AppController& c, const QString& text) { c.handleVoice(text); }));
}

void AppController::handleVoice(const QString& text)
{
    if (text.isEmpty()) {
        pill->show(false, QString(), 2);
        return;
    }
    const VoiceIntent intent = VoiceIntent::parse(text);
    slog(QStringLiteral("voice: “") + Log::oneLine(text) + QStringLiteral("” -> ") + Log::oneLine(intentName(intent)));
    switch (intent.kind) {
    case VoiceIntent::Kind::screenshot: {
        pill->hide();
        const QString note = intent.text;
        grabs().mainDisplay(weakly([note](AppController& c, std::optional<QByteArray> jpeg) {
            if (!jpeg) {
                c.pill->show(false, QStringLiteral("Couldn’t take the screenshot (Screen Recording permission?)"), 5);
                return;
            }
            const bool live = c.runningIs(c.voiceRec);
            if (live) {
                c.recorder->addPin(*jpeg, note, c.voiceAt);
                c.hud->add(FeedItem::label(FeedItem::Kind::pinned),
                           note.isEmpty() ? QStringLiteral("the whole screen (voice)") : note);
            } else {
                PinQueue::add(*jpeg, note, false);
            }
            QString said = QStringLiteral("Pinned the screen");
            if (!note.isEmpty())
                said += QStringLiteral(": ") + note;
            if (!live)
                said += QStringLiteral(" (queued)");
            c.pill->show(false, said, 3);
            c.rebuildMenu();
        }));
        return;
    }
    case VoiceIntent::Kind::note:
        saveVoiceNote(intent.text, voiceRec, voiceAt);
        return;
    case VoiceIntent::Kind::card: {
        if (intent.text.isEmpty()) {
            pill->show(false, QStringLiteral("Say the card after “card”, e.g. “card send the brief to Varra”"), 4);
            return;
        }
        std::optional<Workspace> ws = recorder ? tipWS : std::nullopt;
        if (!ws)
            ws = accounts.home();
        const std::optional<API> api = accounts.apiFor(ws);
        if (!api) {
            pill->show(false,
                       accounts.signedIn() ? QStringLiteral("Your account has no project yet")
                                           : QStringLiteral("Sign in to Zelvan first (Settings)"),
                       4);
            return;
        }
        pill->hide();
        const QString card = intent.text;
        ports_.nudges->show({
            .kind = QStringLiteral("voiceCard"),
            .priority = 2,
            .title = QStringLiteral("Add a card to ") + ws->name + u'?',
            .message = card,
            .buttons = {{QStringLiteral("Cancel"), false, {}},
                        {QStringLiteral("Add card"), true,
                         weakly([card, ws = *ws, api = *api](AppController& c) { c.addVoiceCard(card, ws, api); })}},
            .stacked = false,
            .timeout = 30,
        });
        return;
    }
    case VoiceIntent::Kind::unknown:
        break;
    }
    pill->hide();
    const QString phrase = intent.text;
    ports_.nudges->show({
        .kind = QStringLiteral("voice"),
        .priority = 1,
        .title = QStringLiteral("Heard “") + cut(phrase, 70) + QStringLiteral("”"),
        .message = QStringLiteral("Start with “screenshot”, “note” or “card”."),
        .buttons = {{QStringLiteral("Dismiss"), false, {}},
                    {QStringLiteral("Save as note"), true,
                     weakly([phrase, rec = voiceRec, t = voiceAt](AppController& c) {
                         c.saveVoiceNote(phrase, rec, t);
                     })}},
        .stacked = false,
        .timeout = 20,
    });
}

void AppController::saveVoiceNote(const QString& note, const std::weak_ptr<Recorder>& rec, std::optional<double> t)
{
    if (note.isEmpty()) {
        pill->show(false, QStringLiteral("Say the note after “note”"), 3);
        return;
    }
    const std::optional<QByteArray> jpeg = NoteCard::jpeg(note);
    if (!jpeg)
        return;
    const bool live = runningIs(rec);
    if (live) {
        recorder->addPin(*jpeg, note, t, Session::PinKind::textOnly);
        hud->add(FeedItem::label(FeedItem::Kind::noted), note);
    } else {
        PinQueue::add(*jpeg, note, true);
    }
    pill->show(false, QStringLiteral("Noted: ") + note + (live ? QString() : QStringLiteral(" (queued)")), 3);
    rebuildMenu();
}

void AppController::addVoiceCard(const QString& text, const Workspace& ws, const API& api)
{
    auto error = std::make_shared<std::optional<QString>>();
    background(
        Lane::network,
        [api, text, error] {
            try {
                api.createTask(text, Wording::shown(QStringLiteral("Added by voice from the Zelvan Mac app.")));
            } catch (const std::exception& e) {
                *error = QString::fromUtf8(e.what());
            }
        },
        [error, name = ws.name](AppController& c) {
            if (*error)
                c.pill->show(false, QStringLiteral("Couldn’t add the card: ") + **error, 5);
            else
                c.pill->show(false, QStringLiteral("Card added to ") + name, 3);
        });
}
