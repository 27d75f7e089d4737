// Recovery of recordings cut off by a crash, on real session folders.
#include "app/Recovery.h"
#include "platform/AacWriter.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

const QDateTime started(QDate(2025, 3, 4), QTime(9, 0, 0), QTimeZone::utc());

void audio(const QString& path)
{
    AacWriter w(path.toStdString());
    w.appendSilence(48000);
    w.close();
}

// Every entry directly inside the folder, changed at `when` (or later for `latest`).
void age(const QString& dir, const QDateTime& when, const QString& latestName = {}, int latestAfter = 0)
{
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        QFile file(f.filePath());
        const QDateTime t = f.fileName() == latestName ? when.addSecs(latestAfter) : when;
        if (f.isDir()) {
            // QFile cannot open a folder for writing; utime through touch(1).
            QProcess::execute("touch", {"-m", "-d", t.toString(Qt::ISODate), f.filePath()});
        } else {
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            file.setFileTime(t, QFileDevice::FileModificationTime);
        }
    }
}

} // namespace

TEST(Recovery, ClosesCutOffRecordingsWithTheirReadableAudio)
{
    TempSupport support;
    const QString base = support.file("recordings");
    struct Case {
        const char* name;
        QStringList readable;
        QStringList broken;
        QString latest; // an entry changed 10 minutes after the start
        std::optional<QString> audioFile;
        int endedAfter;
    };
    const Case cases[] = {
        {"no audio", {}, {}, {}, std::nullopt, 1},
        {"mixed wins", {"mixed.m4a", "mic.m4a"}, {}, "mic.m4a", "mixed.m4a", 600},
        {"broken mixed", {"mic.m4a"}, {"mixed.m4a"}, {}, "mic.m4a", 1},
        {"only broken", {}, {"system.m4a"}, "system.m4a", std::nullopt, 600},
    };
    std::map<QString, const Case*> byDir;
    for (const Case& k : cases) {
        auto s = Session::create(k.name, "Screen", std::nullopt, started, base);
        for (const QString& f : k.readable)
            audio(s->path(f));
        for (const QString& f : k.broken)
            writeFile(s->path(f), "not audio");
        age(s->dir(), started.addSecs(-3600), k.latest, 3600 + 600);
        byDir[s->dir()] = &k;
    }
    // Left alone: a finished session, a live one and a folder that is no session.
    auto done = Session::create("done", "Screen", std::nullopt, started, base);
    done->meta().ended = started.addSecs(30);
    done->save();
    auto live = Session::create("live", "Screen", std::nullopt, started, base);
    SessionLock lock;
    ASSERT_TRUE(lock.acquire(live->dir()));
    QDir(base).mkdir("stray");
    // Told once and kept: a folder whose meta cannot be read. Not ours: a link
    // to an unfinished session elsewhere.
    auto garbled = Session::create("garbled", "Screen", std::nullopt, started, base);
    audio(garbled->path("mic.m4a"));
    writeFile(garbled->path("meta.json"), "{\"title\":");
    QTemporaryDir elsewhere;
    auto outside = Session::create("outside", "Screen", std::nullopt, started, elsewhere.path());
    ASSERT_TRUE(QFile::link(outside->dir(), base + "/linked"));

    QStringList unreadable;
    const QStringList closed = Recovery::recoverInterrupted(base, &unreadable);
    EXPECT_EQ(closed.size(), 4);
    EXPECT_EQ(unreadable, QStringList{QFileInfo(garbled->dir()).fileName()});
    EXPECT_TRUE(QFileInfo(garbled->path("mic.m4a")).isFile());
    EXPECT_FALSE(Session::load(outside->dir())->meta().ended);
    for (const auto& [dir, k] : byDir) {
        auto s = Session::load(dir);
        ASSERT_TRUE(s) << k->name;
        EXPECT_EQ(s->meta().ended, started.addSecs(k->endedAfter)) << k->name;
        EXPECT_EQ(s->meta().audioFile, k->audioFile) << k->name;
        EXPECT_EQ(s->meta().lastError, "the session was interrupted") << k->name;
    }
    EXPECT_EQ(Session::load(done->dir())->meta().ended, started.addSecs(30));
    EXPECT_FALSE(Session::load(done->dir())->meta().lastError);
    EXPECT_FALSE(Session::load(live->dir())->meta().ended);

    // Recovered sessions wait for upload; the live one still does not.
    EXPECT_EQ(Session::pending(base).size(), 5u);
    EXPECT_TRUE(Recovery::recoverInterrupted(base).isEmpty());
}

TEST(Recovery, FramesReadUpwardFromTheScreensBottom)
{
    EXPECT_EQ(Recovery::frameText(QRect(10, 20, 300, 40), 1080), "{{10, 1020}, {300, 40}}");
    EXPECT_EQ(Recovery::frameText(QRect(0, 0, 1920, 1080), 1080), "{{0, 0}, {1920, 1080}}");
}
