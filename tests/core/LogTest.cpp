#include "core/Log.h"

#include "core/Paths.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(Log, LineIsLocalStampTwoSpacesMessage)
{
    TempSupport support;
    // 08:05:03 UTC is 09:05:03 in Berlin in winter.
    FixedClock clock(QDateTime(QDate(2025, 1, 31), QTime(8, 5, 3, 120), QTimeZone::utc()));
    slog("sign-in: started");
    slog("odd: 100% %s %@ kept\nsecond line");
    slogFlush();

    EXPECT_EQ(readFile(Paths::logFile()),
              "2025-01-31 09:05:03  sign-in: started\n"
              "2025-01-31 09:05:03  odd: 100% %s %@ kept\nsecond line\n");
    EXPECT_EQ(fileMode(Paths::logFile()), 0600);
}

TEST(Log, AFileOverOneMillionBytesMovesAsideAndTheNextLineStartsANewOne)
{
    struct Case {
        qint64 size;
        bool kept;
    };
    for (const Case c : {Case{999'999, true}, Case{1'000'000, true}, Case{1'000'001, false}, Case{5'000'000, false}}) {
        TempSupport support;
        FixedClock clock;
        const QString previous = Paths::logFile() + ".1";
        writeFile(previous, "older still\n");
        writeFile(Paths::logFile(), QByteArray(c.size, 'x'));
        slog("next");
        slogFlush();
        const QByteArray line = "2025-01-31 09:05:03  next\n";
        const QByteArray content = readFile(Paths::logFile());
        if (c.kept) {
            EXPECT_EQ(content.size(), c.size + line.size()) << c.size;
            EXPECT_TRUE(content.endsWith(line)) << c.size;
            EXPECT_EQ(readFile(previous), "older still\n") << c.size;
        } else {
            EXPECT_EQ(content, line) << c.size;
            // The full file is the previous one now; only the one before it is gone.
            EXPECT_EQ(readFile(previous), QByteArray(c.size, 'x')) << c.size;
        }
    }
}

TEST(Log, LinesFromManyThreadsStayWholeAndInOrderPerThread)
{
    TempSupport support;
    constexpr int threads = 4, lines = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < lines; ++i)
                slog(QStringLiteral("t%1: %2").arg(t).arg(i));
        });
    }
    for (auto& w : workers)
        w.join();
    slogFlush();

    const QStringList all = QString::fromUtf8(readFile(Paths::logFile())).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(all.size(), threads * lines);
    std::vector<int> next(threads, 0);
    for (const QString& line : all) {
        const QString msg = line.mid(21); // after "yyyy-MM-dd HH:mm:ss  "
        const int t = msg.mid(1, 1).toInt();
        EXPECT_EQ(msg, QStringLiteral("t%1: %2").arg(t).arg(next[size_t(t)]));
        next[size_t(t)]++;
    }
}

TEST(Log, AMissingSupportFolderLosesTheLineButNeverFails)
{
    QTemporaryDir tmp;
    Paths::setSupportForTesting(tmp.filePath("gone"));
    QDir(tmp.filePath("gone")).removeRecursively();
    slog("lost");
    slogFlush();
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("gone/zelvan.log")));
    Paths::setSupportForTesting({});
}

TEST(Log, SystemLogEntryGoesToStandardError)
{
    TempSupport support;
    testing::internal::CaptureStderr();
    slog("board: 100% loaded");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[Zelvan] board: 100% loaded\n"), std::string::npos) << err;
}
