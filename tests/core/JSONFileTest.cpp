#include "core/JSONFile.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

struct Child {
    QString name;
    double t = 0;

    QJsonObject toJson() const
    {
        QJsonObject o;
        Json::put(o, "name", name);
        Json::put(o, "t", t);
        return o;
    }
    static Child fromJson(const QJsonObject& o)
    {
        const Json::Reader r(o);
        return {r.get<QString>("name"), r.get<double>("t")};
    }
    bool operator==(const Child&) const = default;
};

struct Sample {
    QString title;
    QDateTime started;
    int count = 0;
    bool done = false;
    std::optional<QString> note;
    std::optional<QDateTime> ended;
    std::vector<Child> children;

    QJsonObject toJson() const
    {
        QJsonObject o;
        Json::put(o, "title", title);
        Json::put(o, "started", started);
        Json::put(o, "count", count);
        Json::put(o, "done", done);
        Json::put(o, "note", note);
        Json::put(o, "ended", ended);
        Json::put(o, "children", children);
        return o;
    }
    static Sample fromJson(const QJsonObject& o)
    {
        const Json::Reader r(o);
        return {r.get<QString>("title"),
                r.get<QDateTime>("started"),
                r.get<int>("count"),
                r.get<bool>("done"),
                r.opt<QString>("note"),
                r.opt<QDateTime>("ended"),
                r.get<std::vector<Child>>("children")};
    }
    bool operator==(const Sample&) const = default;
};

Sample sample()
{
    return {"Design sync",
            QDateTime(QDate(2025, 1, 31), QTime(8, 5, 3, 987), QTimeZone::utc()),
            3,
            true,
            std::nullopt,
            std::nullopt,
            {{"a", 0.5}, {"b", 12.25}}};
}

} // namespace

TEST(JSONFile, RoundTripKeepsWholeSecondsAndLeavesOutAbsentFields)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("meta.json");
    const Sample in = sample();
    JSONFile::write(in, path);

    const QByteArray text = readFile(path);
    EXPECT_TRUE(text.contains("\"started\": \"2025-01-31T08:05:03Z\"")) << text.constData();
    EXPECT_FALSE(text.contains("note")) << "absent optional fields are left out, never null";
    EXPECT_FALSE(text.contains("null"));
    EXPECT_TRUE(text.indexOf("\"children\"") < text.indexOf("\"count\"")
                && text.indexOf("\"count\"") < text.indexOf("\"title\""))
        << "keys are sorted";
    EXPECT_TRUE(text.contains('\n')) << "pretty-printed";
    EXPECT_EQ(fileMode(path), 0600);

    const auto out = JSONFile::read<Sample>(path);
    ASSERT_TRUE(out);
    Sample expected = in;
    expected.started = QDateTime(QDate(2025, 1, 31), QTime(8, 5, 3), QTimeZone::utc());
    EXPECT_EQ(*out, expected);

    Sample full = expected;
    full.note = "hello";
    full.ended = expected.started.addSecs(90);
    JSONFile::write(full, path);
    EXPECT_EQ(JSONFile::read<Sample>(path), full);
}

TEST(JSONFile, AnythingThatDoesNotDecodeCountsAsAbsent)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("x.json");
    const QByteArray good = R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1,"done":false,"children":[]})";
    writeFile(path, good);
    ASSERT_TRUE(JSONFile::read<Sample>(path)) << "the baseline decodes";

    const QByteArray bad[] = {
        "",
        "{",
        "[]",
        "null",
        R"({"started":"2025-01-31T08:05:03Z","count":1,"done":false,"children":[]})",                  // no title
        R"({"title":null,"started":"2025-01-31T08:05:03Z","count":1,"done":false,"children":[]})",     // null required
        R"({"title":"t","started":"2025-01-31","count":1,"done":false,"children":[]})",                // bad date
        R"({"title":"t","started":"2025-01-31T08:05:03.120Z","count":1,"done":false,"children":[]})",  // a fraction
        R"({"title":"t","started":"2025-01-31T09:05:03+01:00","count":1,"done":false,"children":[]})", // an offset
        R"({"title":"t","started":"2025-01-31T08:05:03z","count":1,"done":false,"children":[]})",
        R"({"title":"t","started":"2025-02-30T08:05:03Z","count":1,"done":false,"children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1,"done":false,"ended":"2025-01-31T08:05:03.5Z","children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1.5,"done":false,"children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":"1","done":false,"children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1,"done":0,"children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1,"done":false,"note":5,"children":[]})",
        R"({"title":"t","started":"2025-01-31T08:05:03Z","count":1,"done":false,"children":[{"name":"a"}]})",
    };
    for (const QByteArray& text : bad) {
        writeFile(path, text);
        EXPECT_FALSE(JSONFile::read<Sample>(path)) << text.constData();
    }
    EXPECT_FALSE(JSONFile::read<Sample>(tmp.filePath("missing.json")));
}

TEST(JSONFile, ListsOfRecordsAndUnknownKeys)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("list.json");
    const std::vector<Child> in = {{"x", 1}, {"y", 2}};
    JSONFile::write(in, path);
    EXPECT_EQ(JSONFile::read<std::vector<Child>>(path), in);

    writeFile(path, R"([{"name":"x","t":1,"extra":true}])");
    EXPECT_EQ(JSONFile::read<std::vector<Child>>(path), (std::vector<Child>{{"x", 1}}));
}

TEST(JSONFile, FailedWriteThrowsAndKeepsTheOldFile)
{
    QTemporaryDir tmp;
    EXPECT_THROW(JSONFile::write(sample(), tmp.filePath("no/such/folder/x.json")), JSONFile::WriteError);

    // A directory in the way of the temporary file's rename.
    const QString path = tmp.filePath("busy");
    QDir(tmp.path()).mkdir("busy");
    EXPECT_THROW(JSONFile::write(sample(), path), JSONFile::WriteError);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(JSONFile, AWriteCutShortFailsAndKeepsTheOldFile)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A file-size limit cuts the write short, in a process of its own.
    EXPECT_EXIT(
        {
            QTemporaryDir tmp;
            const QString path = tmp.filePath("meta.json");
            JSONFile::write(sample(), path);
            const QByteArray before = readFile(path);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 100;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Sample big = sample();
            big.title = QString(4000, u'x');
            bool threw = false;
            try {
                JSONFile::write(big, path);
            } catch (const JSONFile::WriteError&) {
                threw = true;
            }
            std::exit(threw && readFile(path) == before ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
