#include "core/Fmt.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "session/PinQueue.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

const QDateTime t0(QDate(2025, 3, 4), QTime(9, 15, 2), QTimeZone::utc());

QJsonArray queueJson()
{
    return QJsonDocument::fromJson(readFile(PinQueue::path())).array();
}

QStringList pinFiles()
{
    return QDir(Paths::pins()).entryList({"pin-*"}, QDir::Files, QDir::Name);
}

QStringList sessions()
{
    return QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// While it lives, this process cannot write files larger than `bytes`: a real
// write failure that even root cannot bypass.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

} // namespace

TEST(PinQueue, MissingOrCorruptQueueIsEmpty)
{
    TempSupport support;
    EXPECT_EQ(PinQueue::count(), 0);
    writeFile(PinQueue::path(), "[{\"at\":");
    EXPECT_EQ(PinQueue::count(), 0);
    EXPECT_TRUE(PinQueue::all().empty());

    PinQueue::add("jpeg", "first");
    EXPECT_EQ(PinQueue::count(), 1);
    EXPECT_EQ(queueJson().size(), 1);

    // An entry whose file name reaches outside the pins folder makes the file unreadable.
    writeFile(PinQueue::path(), R"([{"at":"2025-03-04T09:15:02Z","note":"","file":"../meta.json"}])");
    EXPECT_EQ(PinQueue::count(), 0);
}

// Dates in the queue are read as strictly as they are written: whole seconds in UTC.
TEST(PinQueue, EntryWithAFractionOrAnOffsetMakesTheQueueUnreadable)
{
    TempSupport support;
    const std::pair<const char*, int> cases[] = {
        {"2025-03-04T09:15:02Z", 1},
        {"2025-03-04T09:15:02.500Z", 0},
        {"2025-03-04T10:15:02+01:00", 0},
        {"2025-03-04T09:15:02+00:00", 0},
    };
    for (const auto& [at, count] : cases) {
        writeFile(PinQueue::path(), QByteArray(R"([{"at":")") + at + R"(","note":"n","file":"pin-1.jpg"}])");
        EXPECT_EQ(PinQueue::count(), count) << at;
    }
}

// A queue that does not decode may still hold pins someone can recover: it is
// kept aside, never overwritten, and an earlier copy is never replaced.
TEST(PinQueue, UndecodableQueueIsKeptAsideBeforeANewOne)
{
    TempSupport support;
    writeFile(PinQueue::path(), "[{\"at\":");
    PinQueue::add("jpeg", "first");
    EXPECT_EQ(PinQueue::count(), 1);
    EXPECT_EQ(readFile(PinQueue::path() + ".bad"), "[{\"at\":");

    writeFile(PinQueue::path(), "not json either");
    PinQueue::add("jpeg", "second");
    ASSERT_EQ(PinQueue::count(), 1);
    EXPECT_EQ(PinQueue::all()[0].note, "second");
    EXPECT_EQ(readFile(PinQueue::path() + ".bad"), "[{\"at\":");
    EXPECT_EQ(readFile(PinQueue::path() + ".bad.2"), "not json either");

    slogFlush();
    EXPECT_EQ(readFile(Paths::logFile()).count("queue pin: "), 2);
}

// An image whose entry could not be written would never be sent nor deleted.
TEST(PinQueue, ImageIsRemovedWhenTheQueueCannotBeWritten)
{
    TempSupport support;
    ASSERT_TRUE(QDir().mkpath(PinQueue::path())); // a folder where the queue belongs
    PinQueue::add("jpeg", "lost");
    EXPECT_TRUE(pinFiles().isEmpty());
    EXPECT_TRUE(QFileInfo(PinQueue::path()).isDir()) << "a folder is not a queue to move aside";
    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).contains("queue pin: "));
}

TEST(PinQueue, AddKeepsOrderNamesAndTheTextOnlyFlag)
{
    TempSupport support;
    FixedClock clock(t0);
    PinQueue::add("one", "first");
    PinQueue::add("two", "second", true);
    clock.advance(1.6);
    PinQueue::add("three", "", false);

    const auto pins = PinQueue::all();
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(pins[0].note, "first");
    EXPECT_EQ(pins[1].note, "second");
    EXPECT_EQ(pins[2].note, "");
    EXPECT_EQ(pins[0].at, t0);
    EXPECT_EQ(pins[2].at, t0.addSecs(1)) << "whole seconds in the file";
    EXPECT_EQ(pins[1].textOnly, true);
    EXPECT_FALSE(pins[0].textOnly);

    const QRegularExpression name("^pin-" + Fmt::stamp(t0) + "-[0-9A-F]{4}\\.jpg$");
    EXPECT_TRUE(name.match(pins[0].file).hasMatch()) << pins[0].file.toStdString();
    EXPECT_TRUE(name.match(pins[1].file).hasMatch()) << pins[1].file.toStdString();
    EXPECT_NE(pins[0].file, pins[1].file) << "same second, other UUID characters";
    EXPECT_EQ(readFile(Paths::pins() + "/" + pins[1].file), "two");
    EXPECT_EQ(fileMode(Paths::pins() + "/" + pins[1].file), 0600);

    const QJsonArray file = queueJson();
    EXPECT_EQ(file[0].toObject().keys(), (QStringList{"at", "file", "note"}));
    EXPECT_EQ(file[1].toObject().value("textOnly"), true);
    EXPECT_EQ(file[0].toObject().value("at"), "2025-03-04T09:15:02Z");
}

// Names differ only in 4 UUID characters within a second. With a quarter of the
// names already taken, a pin that overwrote an existing image would show.
TEST(PinQueue, PinsInOneSecondNeverOverwriteAnImage)
{
    TempSupport support;
    FixedClock clock(t0);
    const QString prefix = Paths::pins() + "/pin-" + Fmt::stamp(t0) + "-";
    for (int i = 0; i < 0x4000; ++i)
        writeFile(prefix + QString::number(i, 16).toUpper().rightJustified(4, '0') + ".jpg", "");
    constexpr int n = 40;
    for (int i = 0; i < n; ++i)
        PinQueue::add("image " + QByteArray::number(i), QString::number(i));
    const auto pins = PinQueue::all();
    ASSERT_EQ(pins.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(readFile(Paths::pins() + "/" + pins[size_t(i)].file), "image " + QByteArray::number(i));
    EXPECT_EQ(pinFiles().size(), 0x4000 + n);
}

TEST(PinQueue, ToSessionTimesPinsFromTheFirst)
{
    struct Case {
        std::vector<double> offsets; // seconds after the first pin
        std::vector<double> t;
        qint64 length;
    };
    const Case cases[] = {
        {{0}, {0}, 1},
        {{0, 95}, {0, 95}, 95},
        {{0, 0.4}, {0, 0}, 1},
        {{0, 2.7, 1.2}, {0, 2, 1}, 1}, // the last entry ends it, even when an earlier one is later
    };
    for (const Case& c : cases) {
        TempSupport support;
        FixedClock clock(t0);
        double at = 0;
        for (size_t i = 0; i < c.offsets.size(); ++i) {
            clock.set(t0.addMSecs(qint64(c.offsets[i] * 1000)));
            PinQueue::add("img" + QByteArray::number(int(i)), "n" + QString::number(i), i == 1);
            at = c.offsets[i];
        }
        (void)at;
        const QUuid ws = QUuid::createUuid();
        const auto s = PinQueue::toSession(ws);
        ASSERT_TRUE(s);
        const auto loaded = Session::load(s->dir());
        ASSERT_TRUE(loaded) << "saved";
        const SessionMeta& m = loaded->meta();
        EXPECT_EQ(m.title, "Pins \u00B7 " + Fmt::human(t0));
        EXPECT_EQ(m.app, "Screen");
        EXPECT_EQ(m.workspaceID, ws);
        EXPECT_EQ(m.started, t0);
        EXPECT_EQ(m.kind, "session");
        ASSERT_EQ(m.pins.size(), c.t.size());
        for (size_t i = 0; i < c.t.size(); ++i) {
            EXPECT_EQ(m.pins[i].t, c.t[i]);
            EXPECT_EQ(m.pins[i].note, "n" + QString::number(i));
            EXPECT_EQ(m.pins[i].textOnly, i == 1 ? std::optional(true) : std::nullopt);
            EXPECT_FALSE(m.pins[i].autoPin);
            EXPECT_EQ(readFile(loaded->path(m.pins[i].file)), "img" + QByteArray::number(int(i)));
        }
        EXPECT_EQ(m.started.secsTo(*m.ended), c.length);
        EXPECT_EQ(PinQueue::count(), 0);
        EXPECT_FALSE(QFileInfo::exists(PinQueue::path()));
        EXPECT_TRUE(pinFiles().isEmpty());
    }
}

TEST(PinQueue, ToSessionOnAnEmptyQueueDoesNothing)
{
    TempSupport support;
    EXPECT_FALSE(PinQueue::toSession(std::nullopt));
    EXPECT_TRUE(sessions().isEmpty());
}

TEST(PinQueue, MissingImageIsSkippedAndTheQueueStillEmpties)
{
    TempSupport support;
    FixedClock clock(t0);
    PinQueue::add("a", "kept");
    clock.advance(5);
    PinQueue::add("b", "gone");
    QFile::remove(Paths::pins() + "/" + PinQueue::all()[1].file);

    const auto s = PinQueue::toSession(std::nullopt);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->meta().pins.size(), 1u);
    EXPECT_EQ(s->meta().pins[0].note, "kept");
    EXPECT_EQ(s->meta().started.secsTo(*s->meta().ended), 5);
    EXPECT_EQ(PinQueue::count(), 0);
    EXPECT_TRUE(pinFiles().isEmpty());
}

// A pin leaves the queue only once a saved session holds it.
TEST(PinQueue, PinsStayQueuedWhenTheSessionCannotBeMade)
{
    TempSupport support;
    FixedClock clock(t0);
    PinQueue::add("a", "one");
    PinQueue::add("b", "two", true);
    const QByteArray queue = readFile(PinQueue::path());
    const QStringList images = pinFiles();

    // No session folder can be made.
    ASSERT_TRUE(QDir(Paths::recordings()).removeRecursively());
    writeFile(Paths::support() + "/recordings", "in the way");
    EXPECT_FALSE(PinQueue::toSession(std::nullopt));
    EXPECT_EQ(readFile(PinQueue::path()), queue);
    EXPECT_EQ(pinFiles(), images);
    QFile::remove(Paths::support() + "/recordings");

    // The folder is made but "meta.json" cannot be saved: long notes make it
    // bigger than the process may write.
    PinQueue::add("c", QString(3000, 'x'));
    const QByteArray longer = readFile(PinQueue::path());
    {
        FileSizeLimit limit(2500);
        EXPECT_FALSE(PinQueue::toSession(std::nullopt));
    }
    EXPECT_EQ(readFile(PinQueue::path()), longer);
    EXPECT_EQ(pinFiles().size(), 3);
    EXPECT_TRUE(sessions().isEmpty()) << "the half-made session is not left behind";

    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).contains("send pins: "));

    // Afterwards the same queue goes through.
    const auto s = PinQueue::toSession(std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->meta().pins.size(), 3u);
    EXPECT_EQ(PinQueue::count(), 0);
}

// An image the session cannot store stays queued; the others move.
TEST(PinQueue, PinWhoseImageCannotBeCopiedStaysQueued)
{
    TempSupport support;
    FixedClock clock(t0);
    PinQueue::add("small", "one");
    PinQueue::add(QByteArray(6000, 'b'), "big");
    PinQueue::add("small too", "three");
    const QString big = PinQueue::all()[1].file;

    std::shared_ptr<Session> s;
    {
        FileSizeLimit limit(4000);
        s = PinQueue::toSession(std::nullopt);
    }
    ASSERT_TRUE(s);
    const auto loaded = Session::load(s->dir());
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->meta().pins.size(), 2u);
    EXPECT_EQ(loaded->meta().pins[1].note, "three");

    const auto left = PinQueue::all();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].note, "big");
    EXPECT_EQ(pinFiles(), QStringList{big});
    EXPECT_EQ(readFile(Paths::pins() + "/" + big), QByteArray(6000, 'b'));
}
