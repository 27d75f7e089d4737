#include "core/FiledRef.h"
#include "core/Json.h"
#include "core/Workspace.h"

#include <QJsonDocument>
#include <QSet>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <unordered_set>

namespace {

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

TEST(Workspace, BaseIsLocalAndLink)
{
    struct Case {
        const char* server;
        const char* base;
        bool local;
        std::optional<const char*> board;
    };
    const Case cases[] = {
        {"  http://127.0.0.1:7440//  ", "http://127.0.0.1:7440", true, "http://127.0.0.1:7440/#/board"},
        {"https://Team.Example/App/?q=1", "https://Team.Example/App/?q=1", false,
         "https://Team.Example/App/?q=1/#/board"},
        {"http://[::1]:9/", "http://[::1]:9", true, "http://[::1]:9/#/board"},
        {"http://x.localhost", "http://x.localhost", true, "http://x.localhost/#/board"},
        {"http://LOCALHOST:1", "http://LOCALHOST:1", false, "http://LOCALHOST:1/#/board"},
        {"127.0.0.1:7440", "127.0.0.1:7440", false, std::nullopt}, // no scheme: no host, no absolute link
        {"///", "", false, std::nullopt},
        {"http://a b", "http://a b", false, std::nullopt},
    };
    for (const auto& c : cases) {
        const Workspace ws("W", c.server);
        EXPECT_EQ(ws.server, QString::fromUtf8(c.server)) << "kept as it came";
        EXPECT_EQ(ws.base(), QString::fromUtf8(c.base)) << c.server;
        EXPECT_EQ(ws.isLocal(), c.local) << c.server;
        const auto link = ws.link("board");
        ASSERT_EQ(link.has_value(), c.board.has_value()) << c.server;
        if (link) {
            EXPECT_EQ(link->text(), QString::fromUtf8(*c.board));
        }
    }
    EXPECT_EQ(Workspace("W", "http://h").link("library/call/rec%3A1")->text(), "http://h/#/library/call/rec%3A1");
}

TEST(Workspace, JsonCoding)
{
    Workspace legacy("Home server", " http://h:1/ ");
    const QJsonObject o = legacy.toJson();
    EXPECT_EQ(o.keys(), (QStringList{"id", "name", "server"}));
    EXPECT_EQ(o.value("id").toString(), legacy.id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(o.value("server").toString(), " http://h:1/ ");
    EXPECT_EQ(Workspace::fromJson(o), legacy) << "keeps the stored id";
    EXPECT_FALSE(legacy.isProject());

    Workspace project = legacy;
    project.slug = "";
    project.seat = "member";
    project.apiRoot = "http://h:1/api/v1/p/x";
    EXPECT_TRUE(project.isProject()) << "an empty slug is still a slug";
    EXPECT_EQ(project.toJson().keys(), (QStringList{"apiRoot", "id", "name", "seat", "server", "slug"}));
    EXPECT_EQ(Workspace::fromJson(project.toJson()), project);

    const auto decoded = Workspace::fromJson(
        object(R"({"id":"1a903508-308a-55d7-be9a-25d6e784fcb3","name":"N","server":"s","slug":null,"extra":1})"));
    EXPECT_EQ(decoded.id, QUuid("1A903508-308A-55D7-BE9A-25D6E784FCB3"));
    EXPECT_FALSE(decoded.slug);
    EXPECT_FALSE(decoded.seat);
    EXPECT_FALSE(decoded.apiRoot);

    for (const char* bad : {R"({"name":"N","server":"s"})", R"({"id":"nope","name":"N","server":"s"})",
                            R"({"id":"1a903508-308a-55d7-be9a-25d6e784fcb3","name":1,"server":"s"})",
                            R"({"id":"1a903508-308a-55d7-be9a-25d6e784fcb3","name":"N"})",
                            R"({"id":"1a903508-308a-55d7-be9a-25d6e784fcb3","name":"N","server":"s","slug":3})"})
        EXPECT_THROW(Workspace::fromJson(object(bad)), Json::DecodeError) << bad;
}

TEST(Workspace, EqualityAndHashLookAtEveryField)
{
    const Workspace a("A", "http://h");
    Workspace renamed = a;
    renamed.name = "B";
    Workspace withSeat = a;
    withSeat.seat = "";
    Workspace withSlug = a;
    withSlug.slug = "";
    EXPECT_NE(a, renamed) << "same id, other name";
    EXPECT_NE(a, withSeat) << "absent equals only absent";
    EXPECT_NE(withSeat, withSlug) << "presence is hashed and compared per field";
    EXPECT_NE(Workspace("A", "http://h"), a) << "a fresh id each time";

    const std::unordered_set<Workspace> std{a, renamed, withSeat, withSlug, a};
    const QSet<Workspace> qt{a, renamed, withSeat, withSlug, a};
    EXPECT_EQ(std.size(), 4u);
    EXPECT_EQ(qt.size(), 4);
    // An empty seat and an empty slug hash apart only when presence is hashed per field.
    EXPECT_NE(qHash(withSeat), qHash(withSlug));
}

TEST(FiledRef, EqualityAndCoding)
{
    const QDateTime at(QDate(2001, 1, 1), QTime(0, 0, 10), QTimeZone::utc());
    const FiledRef ref{"rec:1", "Weekly", FiledRef::personal, at};
    EXPECT_EQ(FiledRef::personal, "personal");
    EXPECT_NE(ref, (FiledRef{"rec:1", "Weekly", "personal", at.addMSecs(1)}));

    const QJsonObject reference = ref.toJson(FiledRef::Dates::sinceReference);
    EXPECT_EQ(reference.value("at").toDouble(), 10.0);
    EXPECT_EQ(FiledRef::fromJson(reference, FiledRef::Dates::sinceReference), ref);
    const QJsonObject iso = ref.toJson();
    EXPECT_EQ(iso.value("at").toString(), "2001-01-01T00:00:10Z");
    EXPECT_EQ(iso.keys(), (QStringList{"at", "dest", "id", "title"}));
    EXPECT_EQ(FiledRef::fromJson(iso), ref);

    EXPECT_EQ(FiledRef::fromJson(object(R"({"id":"a","title":"t","dest":"p","at":-0.5})"),
                                 FiledRef::Dates::sinceReference)
                  .at,
              QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59, 500), QTimeZone::utc()));
    for (const char* bad :
         {R"({"title":"t","dest":"p","at":1})", R"({"id":"a","title":"t","dest":"p"})",
          R"({"id":"a","title":"t","dest":"p","at":"1"})", R"({"id":"a","title":"t","dest":"p","at":1e300})"})
        EXPECT_THROW(FiledRef::fromJson(object(bad), FiledRef::Dates::sinceReference), Json::DecodeError) << bad;
}
