#include "core/Fmt.h"
#include "core/Paths.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "session/NoteCard.h"
#include "session/Payload.h"
#include "session/Router.h"
#include "session/Session.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace SelfTest {

void sessionChecks(RunContext& run)
{
    const QString base = Paths::ensure(QDir(run.out).filePath(QStringLiteral("recordings")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto session = Session::create(QStringLiteral("Zelvan selftest ") + Fmt::human(now), QStringLiteral("Screen"),
                                   std::nullopt, now.addMSecs(-6300), base);
    run.session = session;
    const QByteArray j0 = run.j0.value_or(QByteArray());
    const QByteArray j1 = run.j1.value_or(QByteArray());
    session->addShot(0, j0);
    session->addShot(4, j1);
    const QString cardText = QStringLiteral("Check the venue page on mobile");
    session->addPin(3.2, QStringLiteral("selftest pin: the white box"), j0);
    session->addPin(5.0, QStringLiteral("Auto: slide/page changed — Pricing experiments"), j1,
                    Session::PinKind::automatic);
    session->addPin(5.5, cardText, NoteCard::jpeg(cardText).value_or(QByteArray()), Session::PinKind::textOnly);

    SessionMeta& m = session->meta();
    m.levelsMic = run.micSpans;
    m.levelsTab = run.tabSpans;
    m.micOk = true;
    m.kind = QStringLiteral("session");
    m.apps = run.appSpans;
    m.ocr = std::vector<OcrEntry>{{0, QStringLiteral("Chrome"), run.frameText},
                                  {4, QStringLiteral("Figma"), QStringLiteral("Leaderboard ATH market caps")}};
    m.routed = Routed{0.72, {QStringLiteral("window titles mention Bramel")}, true};
    m.routeDone = true;
    if (run.mixed) {
        QFile::copy(*run.mixed, session->path(QStringLiteral("mixed.m4a")));
        m.audioFile = QStringLiteral("mixed.m4a");
    } else {
        report().info(QStringLiteral("the sample session has no audio: the mix failed"));
    }
    m.ended = QDateTime::currentDateTimeUtc();
    session->save();

    const auto loaded = Session::load(session->dir());
    check(loaded && loaded->meta().shots.size() == 2, QStringLiteral("meta.json round trip"));
    check(Session::pending(base).size() == 1, QStringLiteral("finished session counts as pending upload"));

    QJsonObject p;
    try {
        const QString file = Payload::write(*session, QStringLiteral("Selftest"));
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error(("cannot read " + file).toStdString() + ": " + f.errorString().toStdString());
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
        if (!doc.isObject())
            throw std::runtime_error(error.error != QJsonParseError::NoError ? error.errorString().toStdString()
                                                                             : "not a JSON object");
        p = doc.object();
    } catch (const std::exception& e) {
        check(false, QStringLiteral("payload JSON"), QString::fromUtf8(e.what()));
        return;
    }

    const QStringList contract{"title",    "started", "ended", "url",  "participants", "self", "captions",
                               "speakers", "levels",  "shots", "pins", "source",       "app",  "expect_audio"};
    bool all = true;
    for (const QString& key : contract)
        all = all && p.contains(key);
    check(all, QStringLiteral("payload has every contract field"));

    const QJsonArray ocr = p.value(QStringLiteral("ocr")).toArray();
    const QJsonArray apps = p.value(QStringLiteral("apps")).toArray();
    const QJsonObject routed = p.value(QStringLiteral("routed")).toObject();
    check(p.value(QStringLiteral("kind")) == QStringLiteral("session") && p.value(QStringLiteral("ocr")).isArray()
              && ocr.size() == 2 && ocr[1].toObject().value(QStringLiteral("app")) == QStringLiteral("Figma")
              && p.value(QStringLiteral("apps")).isArray() && apps.size() == 3
              && apps[2].toObject().value(QStringLiteral("title")).isNull()
              && p.value(QStringLiteral("routed")).isObject() && routed.value(QStringLiteral("auto")) == QJsonValue(true)
              && routed.value(QStringLiteral("reasons")).isArray()
              && routed.value(QStringLiteral("reasons")).toArray().size() == 1
              && routed.value(QStringLiteral("reasons")).toArray()[0].isString(),
          QStringLiteral("payload kind / ocr [{t, app, text}] / apps [{t, end, app, title}] / routed {score, reasons, "
                         "auto}"));

    const QString text = Router::text(session->meta());
    check(text.startsWith(QStringLiteral("Chrome: Bramel")) && text.contains(QStringLiteral("Pin: selftest pin"))
              && text.contains(QStringLiteral("Leaderboard")) && !text.contains(QStringLiteral("(private)")),
          QStringLiteral("routing text = window titles + pin notes + OCR (private apps left out)"),
          QString::number(text.size()) + QStringLiteral(" chars"));
    SessionMeta big = session->meta();
    std::vector<OcrEntry> many;
    for (int i = 0; i < 40; ++i)
        many.push_back({double(i), QStringLiteral("X"), (QStringLiteral("word%1 ").arg(i)).repeated(300)});
    big.ocr = many;
    check(Router::text(big).size() == Router::maxText, QStringLiteral("routing text capped at 20k chars"));

    // A session without audio (the mix failed) must not promise the server any.
    const bool withAudio = run.mixed.has_value();
    check(p.value(QStringLiteral("url")).isNull() && p.value(QStringLiteral("source")) == QStringLiteral("mac")
              && p.value(QStringLiteral("app")) == QStringLiteral("Screen")
              && p.value(QStringLiteral("expect_audio")) == QJsonValue(withAudio),
          QStringLiteral("payload url=null, source=mac, app=Screen, expect_audio=")
              + (withAudio ? QStringLiteral("true") : QStringLiteral("false")));
    check(Fmt::parseISO(p.value(QStringLiteral("started")).toString()).has_value()
              && Fmt::parseISO(p.value(QStringLiteral("ended")).toString()).has_value(),
          QStringLiteral("started/ended are ISO dates"));

    const QJsonObject levels = p.value(QStringLiteral("levels")).toObject();
    const QJsonArray micLevels = levels.value(QStringLiteral("mic")).toArray();
    check(p.value(QStringLiteral("levels")).isObject() && !micLevels.isEmpty()
              && micLevels[0].toObject().contains(QStringLiteral("end"))
              && levels.value(QStringLiteral("tab")).toArray().size() == 2,
          QStringLiteral("levels {mic:[{t,end}], tab:[…]}"));

    const QJsonArray shots = p.value(QStringLiteral("shots")).toArray();
    const QByteArray second = shots.size() == 2
        ? QByteArray::fromBase64(shots[1].toObject().value(QStringLiteral("jpeg")).toString().toLatin1())
        : QByteArray();
    check(shots.size() == 2 && second == j1 && run.j1.has_value(), QStringLiteral("shots [{t, jpeg base64}]"));

    const QJsonArray pins = p.value(QStringLiteral("pins")).toArray();
    check(!pins.isEmpty()
              && pins[0].toObject().value(QStringLiteral("note")) == QStringLiteral("selftest pin: the white box")
              && pins[0].toObject().value(QStringLiteral("t")) == QJsonValue(3.2),
          QStringLiteral("pins [{t, note, jpeg}]"));
    check(pins.size() == 3 && !pins[0].toObject().contains(QStringLiteral("auto"))
              && pins[1].toObject().value(QStringLiteral("auto")) == QJsonValue(true)
              && pins[2].toObject().value(QStringLiteral("text_only")) == QJsonValue(true),
          QStringLiteral("pin flags: auto (auto-pin), text_only (voice note card)"));
    QFile::remove(session->path(QStringLiteral("payload.json")));
}

} // namespace SelfTest
