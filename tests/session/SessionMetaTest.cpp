#include "core/JSONFile.h"
#include "session/Session.h"
#include "session/SessionMeta.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QDateTime utc(int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2025, 3, 4), QTime(h, m, s, ms), QTimeZone::utc());
}

QJsonObject readJson(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

void writeJson(const QString& path, const QJsonObject& o)
{
    writeFile(path, QJsonDocument(o).toJson());
}

} // namespace

TEST(SessionMeta, NewFileHoldsExactlyTheRequiredKeys)
{
    TempSupport support;
    const auto plain = Session::create("Standup", "Screen", std::nullopt, utc(9, 15, 2));
    const QStringList required = {"app",          "audioUploaded", "fromCall",  "levelsMic", "levelsTab", "micOk",
                                  "participants", "pins",          "processed", "shots",     "started",   "title"};
    EXPECT_EQ(readJson(plain->path("meta.json")).keys(), required);

    const QUuid workspace = QUuid::createUuid();
    const auto filed = Session::create("Standup", "Screen", workspace, utc(9, 15, 2));
    const QJsonObject o = readJson(filed->path("meta.json"));
    EXPECT_EQ(o.size(), 13);
    EXPECT_EQ(QUuid::fromString(o["workspaceID"].toString()), workspace);
    EXPECT_EQ(o["started"].toString(), "2025-03-04T09:15:02Z");
}

TEST(SessionMeta, ReadingIsStrict)
{
    TempSupport support;
    const auto session = Session::create("Standup", "Zoom", std::nullopt, utc(9, 15, 2, 750));
    const QString path = session->path("meta.json");
    const QJsonObject good = readJson(path);

    // The start keeps whole seconds only: the fraction is cut, not rounded.
    const auto loaded = Session::load(session->dir());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->meta().started, utc(9, 15, 2));

    for (const QString& key : good.keys()) {
        QJsonObject o = good;
        o.remove(key);
        writeJson(path, o);
        EXPECT_FALSE(Session::load(session->dir())) << "without " << key.toStdString();
        o[key] = QJsonValue::Null;
        writeJson(path, o);
        EXPECT_FALSE(Session::load(session->dir())) << key.toStdString() << ": null";
    }

    struct Case {
        const char* what;
        const char* key;
        QJsonValue value;
        bool loads;
    };
    const Case cases[] = {
        {"ended null is absent", "ended", QJsonValue::Null, true},
        {"ended whole seconds", "ended", "2025-03-04T10:00:00Z", true},
        {"ended with a fraction", "ended", "2025-03-04T10:00:00.500Z", false},
        {"started with a fraction", "started", "2025-03-04T09:15:02.750Z", false},
        {"started with an offset", "started", "2025-03-04T10:15:02+01:00", false},
        {"an undeclared key", "somethingNew", 42, true},
        {"a mistyped optional", "kind", 3, false},
        {"a whole-number double", "levelsMic", QJsonArray{QJsonObject{{"t", 1}, {"end", 2}}}, true},
        {"workspaceID not a UUID", "workspaceID", "acme", false},
        {"apps title null", "apps",
         QJsonArray{QJsonObject{{"t", 1}, {"end", 2}, {"app", "A"}, {"title", QJsonValue::Null}}}, true},
        {"routed without auto", "routed", QJsonObject{{"score", 0.5}, {"reasons", QJsonArray{}}}, false},
    };
    for (const Case& c : cases) {
        QJsonObject o = good;
        o[c.key] = c.value;
        writeJson(path, o);
        EXPECT_EQ(bool(Session::load(session->dir())), c.loads) << c.what;
    }
}

// Names read back are joined to the session folder; none may lead out of it.
TEST(SessionMeta, FileNamesStayInsideTheFolder)
{
    TempSupport support;
    const auto session = Session::create("Standup", "Zoom");
    const QString path = session->path("meta.json");
    const QJsonObject good = readJson(path);

    struct Case {
        const char* name;
        bool loads;
    };
    const Case cases[] = {
        {"shots/000.jpg", true},
        {"mixed.m4a", true},
        {"/etc/passwd", false},
        {"../other/mixed.m4a", false},
        {"shots/../../x", false},
        {"..", false},
        {"", false},
        {"shots\\..\\x", false},
        {"a..b.m4a", true},
    };
    for (const Case& c : cases) {
        QJsonObject shots = good;
        shots["shots"] = QJsonArray{QJsonObject{{"t", 1.0}, {"file", c.name}}};
        writeJson(path, shots);
        EXPECT_EQ(bool(Session::load(session->dir())), c.loads) << "shot " << c.name;

        QJsonObject pins = good;
        pins["pins"] = QJsonArray{QJsonObject{{"t", 1.0}, {"note", "n"}, {"file", c.name}}};
        writeJson(path, pins);
        EXPECT_EQ(bool(Session::load(session->dir())), c.loads) << "pin " << c.name;

        QJsonObject audio = good;
        audio["audioFile"] = c.name;
        writeJson(path, audio);
        EXPECT_EQ(bool(Session::load(session->dir())), c.loads) << "audio " << c.name;
    }
}

TEST(SessionMeta, IsCall)
{
    struct Case {
        std::optional<QString> kind;
        bool fromCall;
        std::optional<QString> callApp;
        bool call;
    };
    const Case cases[] = {
        {"call", false, std::nullopt, true},  {std::nullopt, true, std::nullopt, true},
        {std::nullopt, false, "Zoom", true},  {"session", true, std::nullopt, false},
        {"Call", false, std::nullopt, false}, {std::nullopt, false, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SessionMeta m;
        m.kind = c.kind;
        m.fromCall = c.fromCall;
        m.callApp = c.callApp;
        EXPECT_EQ(m.isCall(), c.call) << c.kind.value_or("-").toStdString() << " " << c.fromCall;
    }
}

TEST(SessionMeta, AppSpanMerge)
{
    std::vector<AppSpan> spans;
    const std::optional<QString> T = QStringLiteral("T");
    AppSpan::merge(spans, 10, "A", T);
    EXPECT_EQ(spans, (std::vector<AppSpan>{{10, 10, "A", T}}));
    AppSpan::merge(spans, 11, "A", T);
    EXPECT_EQ(spans, (std::vector<AppSpan>{{10, 11, "A", T}}));
    AppSpan::merge(spans, 20, "A", T); // 9 s after the end: a new span
    EXPECT_EQ(spans, (std::vector<AppSpan>{{10, 20, "A", T}, {20, 20, "A", T}}));
    AppSpan::merge(spans, 21, "B", std::nullopt);
    EXPECT_EQ(spans, (std::vector<AppSpan>{{10, 20, "A", T}, {20, 21, "A", T}, {21, 21, "B", std::nullopt}}));
    AppSpan::merge(spans, 22, "B", QString("")); // an empty title is not no title
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[2].end, 22);
    EXPECT_EQ(spans[3], (AppSpan{22, 22, "B", QString("")}));

    std::vector<AppSpan> late{{10, 15, "A", T}};
    AppSpan::merge(late, 12, "A", T); // a sample before the last end keeps it
    EXPECT_EQ(late, (std::vector<AppSpan>{{10, 15, "A", T}}));
    AppSpan::merge(late, 21, "A", T); // exactly `gap` later still extends
    EXPECT_EQ(late, (std::vector<AppSpan>{{10, 21, "A", T}}));
    AppSpan::merge(late, 19, "B", T); // another window before the end leaves the end
    EXPECT_EQ(late, (std::vector<AppSpan>{{10, 21, "A", T}, {19, 19, "B", T}}));
}

TEST(SessionMeta, DictionaryAndFileForms)
{
    const AppSpan untitled{1, 2, "A", std::nullopt};
    EXPECT_TRUE(untitled.dict().contains("title"));
    EXPECT_TRUE(untitled.dict()["title"].isNull());
    EXPECT_FALSE(untitled.toJson().contains("title"));
    EXPECT_EQ(Routed({0.75, {"a", "b"}, true}).dict(),
              (QJsonObject{{"score", 0.75}, {"reasons", QJsonArray{"a", "b"}}, {"auto", true}}));
    EXPECT_EQ((OcrEntry{1.5, "Chrome", "text"}).dict(), (QJsonObject{{"t", 1.5}, {"app", "Chrome"}, {"text", "text"}}));

    SessionMeta m;
    m.title = "t";
    m.app = "a";
    m.started = QDateTime(QDate(2025, 3, 4), QTime(9, 0), QTimeZone::utc());
    m.ended = m.started.addSecs(60);
    m.apps = std::vector<AppSpan>{untitled};
    m.ocr = std::vector<OcrEntry>{{1.5, "Chrome", "text"}};
    m.routed = Routed{0.5, {"r"}, false};
    m.pins = {{1, "n", "pins/000.jpg", true, std::nullopt}};
    m.callId = "42";
    const SessionMeta back = SessionMeta::fromJson(m.toJson());
    EXPECT_EQ(back.ended, m.ended);
    EXPECT_EQ(back.apps, m.apps);
    EXPECT_EQ(back.ocr, m.ocr);
    EXPECT_EQ(back.routed, m.routed);
    EXPECT_EQ(back.pins[0].autoPin, std::optional(true));
    EXPECT_FALSE(back.pins[0].textOnly);
    EXPECT_EQ(back.callId, m.callId);
}
