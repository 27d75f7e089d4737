#include "core/Fmt.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "session/Payload.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QDateTime start(QDate(2025, 3, 4), QTime(9, 15, 2), QTimeZone::utc());

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (char& c : out)
        c = char(gen.bounded(256));
    return out;
}

// A finished call with three shots (the second one's file deleted), three pins and
// images bigger than one read piece, of sizes that are not multiples of 3.
std::shared_ptr<Session> sample()
{
    auto s = Session::create("Weekly", "Zoom", std::nullopt, start);
    s->addShot(1.5, noise(200'001, 1));
    s->addShot(2.5, noise(10, 2));
    s->addShot(3, noise(3 * 65536 + 2, 3));
    QFile::remove(s->path("shots/001.jpg"));
    s->addPin(4, "look \"here\"\n", noise(5, 4), Session::PinKind::automatic);
    s->addPin(5, "", noise(6, 5), Session::PinKind::textOnly);
    s->addPin(6, "plain", noise(7, 6));
    SessionMeta& m = s->meta();
    m.ended = start.addSecs(600);
    m.participants = {"Ana", "Bo"};
    m.micOk = true;
    m.levelsMic = {{0, 1.5}};
    m.levelsTab = {{2, 3}, {4, 4.25}};
    m.apps = std::vector<AppSpan>{{0, 2, "Zoom", std::nullopt}, {2, 3, "Editor", QString("a.txt")}};
    m.kind = "call";
    return s;
}

QJsonObject fileJson(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

QString b64(const QString& path)
{
    return QString::fromLatin1(readFile(path).toBase64());
}

} // namespace

TEST(Payload, HoldsTheEighteenKeys)
{
    TempSupport support;
    const auto s = sample();
    const QJsonObject p = Payload::dictionary(*s, std::nullopt);

    EXPECT_EQ(p.keys(),
              (QStringList{"app", "apps", "captions", "ended", "expect_audio", "kind", "levels", "ocr", "participants",
                           "pins", "routed", "self", "shots", "source", "speakers", "started", "title", "url"}));
    EXPECT_EQ(p["title"], "Weekly");
    EXPECT_EQ(p["started"], "2025-03-04T09:15:02.000Z");
    EXPECT_EQ(p["ended"], "2025-03-04T09:25:02.000Z");
    EXPECT_TRUE(p["url"].isNull());
    EXPECT_EQ(p["participants"], (QJsonArray{"Ana", "Bo"}));
    EXPECT_EQ(p["self"], "") << "no name gives an empty self";
    EXPECT_EQ(p["captions"], QJsonArray());
    EXPECT_EQ(p["speakers"], QJsonArray());
    EXPECT_EQ(p["levels"],
              (QJsonObject{{"mic", QJsonArray{QJsonObject{{"t", 0}, {"end", 1.5}}}},
                           {"tab", QJsonArray{QJsonObject{{"t", 2}, {"end", 3}}, QJsonObject{{"t", 4}, {"end", 4.25}}}},
                           {"mic_ok", true}}));
    EXPECT_EQ(p["source"], "mac");
    EXPECT_EQ(p["app"], "Zoom");
    EXPECT_EQ(p["expect_audio"], false);
    EXPECT_EQ(p["kind"], "call");
    EXPECT_EQ(p["ocr"], QJsonArray()) << "absent gives an empty array";
    EXPECT_EQ(p["apps"],
              (QJsonArray{QJsonObject{{"t", 0}, {"end", 2}, {"app", "Zoom"}, {"title", QJsonValue::Null}},
                          QJsonObject{{"t", 2}, {"end", 3}, {"app", "Editor"}, {"title", "a.txt"}}}));
    EXPECT_TRUE(p["routed"].isNull());

    // The deleted shot is left out; the others carry their bytes.
    EXPECT_EQ(p["shots"],
              (QJsonArray{QJsonObject{{"t", 1.5}, {"jpeg", b64(s->path("shots/000.jpg"))}},
                          QJsonObject{{"t", 3}, {"jpeg", b64(s->path("shots/002.jpg"))}}}));
    // "auto" and "text_only" appear only when true.
    EXPECT_EQ(
        p["pins"],
        (QJsonArray{
            QJsonObject{{"t", 4}, {"note", "look \"here\"\n"}, {"jpeg", b64(s->path("pins/000.jpg"))}, {"auto", true}},
            QJsonObject{{"t", 5}, {"note", ""}, {"jpeg", b64(s->path("pins/001.jpg"))}, {"text_only", true}},
            QJsonObject{{"t", 6}, {"note", "plain"}, {"jpeg", b64(s->path("pins/002.jpg"))}},
        }));
}

TEST(Payload, OptionalPartsAndTheClock)
{
    TempSupport support;
    FixedClock clock(QDateTime(QDate(2025, 3, 4), QTime(10, 0, 0, 250), QTimeZone::utc()));
    const auto s = Session::create("Solo", "Screen", std::nullopt, start);
    s->meta().routed = Routed{0.93, {"with Ana"}, true};
    s->meta().ocr = std::vector<OcrEntry>{{1, "Editor", "text"}};
    s->meta().audioFile = "mixed.m4a";
    const QJsonObject before = Payload::dictionary(*s, QString("Ana"));
    EXPECT_EQ(before["expect_audio"], false) << "named but missing";
    writeFile(s->path("mixed.m4a"), "m4a");

    const QJsonObject p = Payload::dictionary(*s, QString("Ana"));
    EXPECT_EQ(p["ended"], "2025-03-04T10:00:00.250Z") << "an unfinished session ends now";
    EXPECT_EQ(p["self"], "Ana");
    EXPECT_EQ(p["expect_audio"], true);
    EXPECT_EQ(p["routed"], (QJsonObject{{"score", 0.93}, {"reasons", QJsonArray{"with Ana"}}, {"auto", true}}));
    EXPECT_EQ(p["ocr"], (QJsonArray{QJsonObject{{"t", 1}, {"app", "Editor"}, {"text", "text"}}}));
    EXPECT_EQ(p["shots"], QJsonArray());
    EXPECT_EQ(p["pins"], QJsonArray());
}

TEST(Payload, KindRule)
{
    TempSupport support;
    struct Case {
        std::optional<QString> kind;
        bool fromCall;
        std::optional<QString> callApp;
        const char* expected;
    };
    const Case cases[] = {
        {std::nullopt, false, std::nullopt, "session"}, {std::nullopt, true, std::nullopt, "call"},
        {std::nullopt, false, QString("Zoom"), "call"}, {QString("session"), true, QString("Zoom"), "session"},
        {QString("Call"), false, std::nullopt, "Call"},
    };
    const auto s = Session::create("k", "Screen", std::nullopt, start);
    for (const Case& c : cases) {
        s->meta().kind = c.kind;
        s->meta().fromCall = c.fromCall;
        s->meta().callApp = c.callApp;
        EXPECT_EQ(Payload::dictionary(*s, std::nullopt)["kind"], c.expected) << c.expected;
    }
}

// The streamed file is the same JSON as the payload built in memory.
TEST(Payload, WrittenFileEqualsTheDictionary)
{
    TempSupport support;
    const auto s = sample();
    s->meta().routed = Routed{0.5, {"with Ana, \"Bo\""}, false};
    s->meta().ocr = std::vector<OcrEntry>{{1e-7, "Editor", "\u00e9\u4e2d\U0001F600\t"}};
    const QString path = Payload::write(*s, QString("Ana"));
    EXPECT_EQ(path, s->path("payload.json"));
    EXPECT_EQ(fileMode(path), 0600);

    const QByteArray text = readFile(path);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.object(), Payload::dictionary(*s, QString("Ana")));
    EXPECT_FALSE(text.contains('\n')) << "compact";

    // An empty session streams valid JSON as well.
    const auto empty = Session::create("Empty", "Screen", std::nullopt, start.addSecs(1));
    empty->meta().ended = start.addSecs(2);
    EXPECT_EQ(fileJson(Payload::write(*empty, std::nullopt)), Payload::dictionary(*empty, std::nullopt));
}

// Files that are no plain files (a link, here one to a file that fails to read,
// or a FIFO that would block the open) are left out of both forms alike instead
// of failing the write (and so every upload attempt).
TEST(Payload, ImagesThatCannotBeReadAreLeftOutOfBothForms)
{
    TempSupport support;
    const auto s = sample();
    const QJsonObject whole = Payload::dictionary(*s, std::nullopt);
    ASSERT_TRUE(QFile::remove(s->path("shots/000.jpg")));
    ASSERT_TRUE(QFile::link("/proc/self/mem", s->path("shots/000.jpg")));
    ASSERT_TRUE(QFile::remove(s->path("pins/001.jpg")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(s->path("pins/001.jpg")).constData(), 0600), 0);

    const QJsonObject p = Payload::dictionary(*s, std::nullopt);
    EXPECT_EQ(p["shots"], (QJsonArray{whole["shots"][1]}));
    EXPECT_EQ(p["pins"], (QJsonArray{whole["pins"][0], whole["pins"][2]}));

    const QString path = Payload::write(*s, std::nullopt);
    QJsonParseError error{};
    const QJsonObject written = QJsonDocument::fromJson(readFile(path), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(written, p);
    slogFlush();
    EXPECT_EQ(readFile(Paths::logFile()).count("upload payload: left out shots/000.jpg: "), 0) << "never opened";
}

TEST(Payload, WriteFailsWhenTheFolderIsGone)
{
    TempSupport support;
    const auto s = sample();
    const QString dir = s->dir();
    ASSERT_TRUE(QDir(dir).removeRecursively());
    EXPECT_THROW(Payload::write(*s, std::nullopt), Payload::WriteError);
}
