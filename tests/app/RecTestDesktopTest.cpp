// `zelvan --rec-test` as a user runs it, on the private desktop.
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RecTestDesktop, ShortRecordingReportsOkAndExitsZero)
{
    // A temporary folder of its own, holding the name another user could plant.
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(QDir(tmp.path()).mkdir("zelvan-rectest"));
    writeFile(tmp.filePath("zelvan-rectest/theirs"), "keep");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp.path());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(ZELVAN_EXECUTABLE, {"--rec-test", "2"});
    ASSERT_TRUE(p.waitForFinished(120'000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("[Zelvan] rec-test: preflight=true sck=true\n")) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression(
        "\\[Zelvan\\] rec-test OK: 2 s recorded and stopped, [1-9][0-9]* screenshots, [1-9][0-9]* KB\n")))
        << err.toStdString();
    // The throw-away session is gone again, and nothing else was used or removed.
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"zelvan-rectest"});
    EXPECT_EQ(readFile(tmp.filePath("zelvan-rectest/theirs")), "keep");
}
