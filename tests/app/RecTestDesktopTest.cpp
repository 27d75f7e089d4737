// `zelvan --rec-test` as a user runs it, on the private desktop.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

TEST(RecTestDesktop, ShortRecordingReportsOkAndExitsZero)
{
    QProcess p;
    p.start(ZELVAN_EXECUTABLE, {"--rec-test", "2"});
    ASSERT_TRUE(p.waitForFinished(120'000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("[Zelvan] rec-test: preflight=true sck=true\n")) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression(
        "\\[Zelvan\\] rec-test OK: 2 s recorded and stopped, [1-9][0-9]* screenshots, [1-9][0-9]* KB\n")))
        << err.toStdString();
    // The throw-away session is gone again.
    EXPECT_FALSE(QDir(QDir::tempPath() + "/zelvan-rectest").exists());
}
