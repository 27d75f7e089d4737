#include "core/Fmt.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "session/Session.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

const QDateTime start(QDate(2025, 3, 4), QTime(9, 15, 2), QTimeZone::utc());

QString name(const std::shared_ptr<Session>& s)
{
    return QFileInfo(s->dir()).fileName();
}

QJsonObject metaJson(const Session& s)
{
    return QJsonDocument::fromJson(readFile(s.path("meta.json"))).object();
}

} // namespace

TEST(Session, FolderNamesTakeTheNextFreeSuffix)
{
    TempSupport support;
    const QString stamp = Fmt::stamp(start);
    EXPECT_EQ(name(Session::create("a", "Screen", std::nullopt, start)), stamp);
    EXPECT_EQ(name(Session::create("b", "Screen", std::nullopt, start)), stamp + "-2");
    writeFile(Paths::recordings() + "/" + stamp + "-3", "not a folder");
    EXPECT_EQ(name(Session::create("c", "Screen", std::nullopt, start)), stamp + "-4");
}

// Folders are claimed by an exclusive create, so sessions started in the same
// second on several threads never share one.
TEST(Session, ConcurrentCreationNeverSharesAFolder)
{
    TempSupport support;
    constexpr int count = 16;
    std::vector<QString> dirs(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(
            [&, i] { dirs[size_t(i)] = Session::create(QString::number(i), "Screen", std::nullopt, start)->dir(); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(std::set<QString>(dirs.begin(), dirs.end()).size(), size_t(count));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(Session::load(dirs[size_t(i)])->meta().title, QString::number(i));
}

TEST(Session, CreationFailureIsAnError)
{
    TempSupport support;
    writeFile(support.file("plain"), "x");
    const QString root = support.file("plain/recordings");
    try {
        Session::create("a", "Screen", std::nullopt, start, root);
        ADD_FAILURE() << "created under a file";
    } catch (const Session::CreateError& e) {
        // The message names the whole path: the user must find the folder that failed.
        EXPECT_TRUE(QString::fromStdString(e.what()).contains(root + "/")) << e.what();
    }
}

TEST(Session, NewFolderLoadsBack)
{
    TempSupport support;
    const QUuid workspace = QUuid::createUuid();
    const auto s = Session::create("Standup", "Zoom", workspace, start);
    EXPECT_EQ(QFileInfo(s->dir()).path(), Paths::recordings());
    EXPECT_TRUE(QDir(s->path("shots")).isEmpty());
    EXPECT_TRUE(QDir(s->path("pins")).isEmpty());
    EXPECT_EQ(fileMode(s->dir()), 0700);
    EXPECT_EQ(fileMode(s->path("meta.json")), 0600);
    const auto back = Session::load(s->dir());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->meta().title, "Standup");
    EXPECT_EQ(back->meta().app, "Zoom");
    EXPECT_EQ(back->meta().started, start);
    EXPECT_EQ(back->meta().workspaceID, workspace);
    EXPECT_FALSE(back->meta().ended);
    EXPECT_FALSE(Session::load(support.file("nowhere")));
}

TEST(Session, ShotsAndPinsAreNumberedFiles)
{
    TempSupport support;
    const auto s = Session::create("a", "Screen", std::nullopt, start);
    for (int i = 0; i < 1001; ++i)
        s->addShot(i, "jpeg" + QByteArray::number(i));
    ASSERT_EQ(s->meta().shots.size(), 1001u);
    EXPECT_EQ(s->meta().shots[0].file, "shots/000.jpg");
    EXPECT_EQ(s->meta().shots[1000].file, "shots/1000.jpg");
    EXPECT_EQ(readFile(s->path("shots/1000.jpg")), "jpeg1000");
    EXPECT_EQ(fileMode(s->path("shots/000.jpg")), 0600);

    s->addPin(2.5, "note", "pin0");
    s->addPin(3.5, "auto", "pin1", Session::PinKind::automatic);
    s->addPin(4.5, "text", "pin2", Session::PinKind::textOnly);
    ASSERT_EQ(s->meta().pins.size(), 3u);
    EXPECT_EQ(s->meta().pins[0].file, "pins/000.jpg");
    EXPECT_EQ(readFile(s->path("pins/002.jpg")), "pin2");
    s->save();
    const QJsonArray pins = metaJson(*s)["pins"].toArray();
    EXPECT_EQ(pins[0].toObject(), (QJsonObject{{"t", 2.5}, {"note", "note"}, {"file", "pins/000.jpg"}}));
    EXPECT_EQ(pins[1].toObject()["auto"], true);
    EXPECT_FALSE(pins[1].toObject().contains("textOnly"));
    EXPECT_EQ(pins[2].toObject()["textOnly"], true);
    EXPECT_FALSE(pins[2].toObject().contains("auto"));
}

TEST(Session, FailedImageWriteListsNothingAndLogs)
{
    TempSupport support;
    const auto s = Session::create("a", "Screen", std::nullopt, start);
    s->addShot(1, "a");
    QDir(s->path("shots")).removeRecursively();
    s->addShot(2, "b");
    QDir(s->path("pins")).removeRecursively();
    s->addPin(2, "n", "b");
    EXPECT_EQ(s->meta().shots.size(), 1u);
    EXPECT_TRUE(s->meta().pins.empty());
    QDir().mkpath(s->path("shots"));
    s->addShot(3, "c");
    ASSERT_EQ(s->meta().shots.size(), 2u);
    EXPECT_EQ(s->meta().shots[1].file, "shots/001.jpg");
    slogFlush();
    const QString log = QString::fromUtf8(readFile(Paths::logFile()));
    EXPECT_TRUE(log.contains("shot write: ")) << log.toStdString();
    EXPECT_TRUE(log.contains("pin write: ")) << log.toStdString();
}

TEST(Session, PendingListsFinishedSessionsInNameOrder)
{
    TempSupport support;
    const QString base = support.file("recordings");
    QDir().mkpath(base);
    const QString s = Fmt::stamp(start);
    const QString e = Fmt::stamp(start.addSecs(-1));
    auto finished = [&](const QString& name) {
        SessionMeta m;
        m.title = name;
        m.app = "Screen";
        m.started = start;
        m.ended = start.addSecs(60);
        QDir().mkpath(base + "/" + name);
        Session(base + "/" + name, m).save();
    };
    for (const QString& n : {s + "-2", s, e, s + "-10"})
        finished(n);
    // Left out: a running session, a folder with a broken file, one without a file, a plain file.
    Session(base + "/running", SessionMeta{"running", "Screen", start}).save();
    QDir().mkpath(base + "/broken");
    writeFile(base + "/broken/meta.json", "{\"title\": \"x\"}");
    QDir().mkpath(base + "/empty");
    writeFile(base + "/file", "x");

    QStringList order;
    for (const auto& session : Session::pending(base))
        order << session->meta().title;
    EXPECT_EQ(order, (QStringList{e, s, s + "-10", s + "-2"}));
    EXPECT_TRUE(Session::pending(support.file("missing")).empty());
}

TEST(Session, AudioUrlNeedsANamedExistingFile)
{
    TempSupport support;
    const auto s = Session::create("a", "Screen", std::nullopt, start);
    EXPECT_FALSE(s->audioPath());
    s->meta().audioFile = "mixed.m4a";
    EXPECT_FALSE(s->audioPath());
    writeFile(s->path("mixed.m4a"), "aac");
    EXPECT_EQ(s->audioPath(), s->path("mixed.m4a"));
    QFile::remove(s->path("mixed.m4a"));
    EXPECT_FALSE(s->audioPath());
}

TEST(Session, SaveIntoADeletedFolderLogsAndKeepsMeta)
{
    TempSupport support;
    const auto s = Session::create("a", "Screen", std::nullopt, start);
    QDir(s->dir()).removeRecursively();
    s->meta().title = "changed";
    s->save();
    EXPECT_FALSE(QFileInfo::exists(s->dir())) << "the folder is not made again";
    slogFlush();
    const QString log = QString::fromUtf8(readFile(Paths::logFile()));
    EXPECT_TRUE(log.contains("save meta " + name(s) + ": ")) << log.toStdString();

    // Nothing is lost: once the folder is back, the next save writes the change.
    ASSERT_TRUE(QDir().mkpath(s->dir()));
    s->save();
    const auto back = Session::load(s->dir());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->meta().title, "changed");
}

// Only a plain "meta.json" of a plain folder is read: a FIFO would block the
// reader for good, a link would read (and a save overwrite) a file elsewhere,
// and a huge file would be held in memory whole.
TEST(Session, MetaThatIsNoPlainFileDoesNotLoadAndSaysWhy)
{
    TempSupport support;
    const QString elsewhere = support.file("elsewhere.json");
    const auto good = Session::create("good", "Screen", std::nullopt, start);
    ASSERT_TRUE(QFile::copy(good->path("meta.json"), elsewhere));
    struct Case {
        const char* name;
        std::function<void(const QString& meta)> make;
        QString problem;
    };
    const Case cases[] = {
        {"fifo", [](const QString& m) { ASSERT_EQ(::mkfifo(QFile::encodeName(m).constData(), 0600), 0); },
         "meta.json is not a regular file"},
        {"link", [&](const QString& m) { ASSERT_TRUE(QFile::link(elsewhere, m)); }, "meta.json is a link"},
        {"huge",
         [](const QString& m) {
             QFile f(m);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(Session::maxMetaBytes + 1));
         },
         "meta.json is too big"},
        {"garbage", [](const QString& m) { writeFile(m, "{\"title\": 3"); }, "meta.json is not valid JSON"},
        {"none", [](const QString&) {}, ""},
    };
    for (const Case& c : cases) {
        const QString dir = support.file(QString("recordings/") + c.name);
        ASSERT_TRUE(QDir().mkpath(dir));
        c.make(dir + "/meta.json");
        QString problem;
        EXPECT_FALSE(Session::load(dir, &problem)) << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
    }
    EXPECT_EQ(Session::pending().size(), 0u);

    // A save replaces a link with the session's own file.
    const QByteArray before = readFile(elsewhere);
    QFile::remove(good->path("meta.json"));
    ASSERT_TRUE(QFile::link(elsewhere, good->path("meta.json")));
    good->meta().title = "changed";
    EXPECT_TRUE(good->save());
    EXPECT_EQ(readFile(elsewhere), before);
    EXPECT_FALSE(QFileInfo(good->path("meta.json")).isSymLink());
    EXPECT_EQ(Session::load(good->dir())->meta().title, "changed");
}
