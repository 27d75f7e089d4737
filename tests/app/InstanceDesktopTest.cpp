// The running application as processes on the private desktop: one instance,
// hand-over, the diagnostic switches and a plain `kill`.
#include "app/SingleInstance.h"
#include "core/Settings.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

std::unique_ptr<QProcess> start(const QStringList& args)
{
    auto p = std::make_unique<QProcess>();
    // Its log lines arrive on standard error.
    p->setReadChannel(QProcess::StandardError);
    p->start(ZELVAN_EXECUTABLE, args);
    EXPECT_TRUE(p->waitForStarted(30'000));
    return p;
}

// Reads the process's standard error until it holds `text`.
bool waitForLog(QProcess& p, QByteArray& err, const QByteArray& text)
{
    // What earlier waits already buffered counts too.
    err += p.readAllStandardError();
    while (!err.contains(text)) {
        if (p.state() == QProcess::NotRunning || !p.waitForReadyRead(120'000))
            return false;
        err += p.readAllStandardError();
    }
    return true;
}

void terminate(QProcess& p)
{
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60'000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

// The processes this test starts use a settings suite of their own whose
// platform is not there: the board that a hand-over opens loads nothing real.
class OfflineSuite {
public:
    OfflineSuite()
    {
        Settings(Settings::suite("instance-desktop-test")).setPlatformBase("http://127.0.0.1:1");
        qputenv("ZELVAN_DEFAULTS_SUITE", "instance-desktop-test");
    }
    ~OfflineSuite() { qunsetenv("ZELVAN_DEFAULTS_SUITE"); }
};

} // namespace

TEST(InstanceDesktop, TwoStartedTogetherLeaveExactlyOneRunning)
{
    TempSupport support;
    OfflineSuite suite;
    auto a = start({});
    auto b = start({});
    // Whichever loses hands over and leaves; the other stays.
    QProcess* loser = nullptr;
    QElapsedTimer waited;
    waited.start();
    while (!loser && waited.elapsed() < 120'000) {
        for (QProcess* p : {a.get(), b.get()})
            if (p->waitForFinished(100))
                loser = p;
    }
    ASSERT_TRUE(loser);
    QProcess& winner = loser == a.get() ? *b : *a;
    EXPECT_EQ(loser->exitCode(), 0);
    EXPECT_EQ(loser->readAllStandardError(), "[Zelvan] already running\n");
    QByteArray err;
    ASSERT_TRUE(waitForLog(winner, err, "[Zelvan] launched ")) << err.toStdString();
    EXPECT_EQ(winner.state(), QProcess::Running);
    terminate(winner);
}

TEST(InstanceDesktop, ALaterStartHandsItsLinkOverAndDiagnosticsRunBeside)
{
    TempSupport support;
    OfflineSuite suite;
    auto first = start({});
    QByteArray err;
    ASSERT_TRUE(waitForLog(*first, err, "[Zelvan] launched ")) << err.toStdString();

    QProcess second;
    second.start(ZELVAN_EXECUTABLE, {"zelvan://board"});
    ASSERT_TRUE(second.waitForFinished(180'000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardError(), "[Zelvan] already running\n");
    // The running one got the link.
    EXPECT_TRUE(waitForLog(*first, err, "[Zelvan] deep link ")) << err.toStdString();

    // The menu dump bypasses the rule, prints and leaves after its delay.
    QProcess dump;
    dump.start(ZELVAN_EXECUTABLE, {"--dump-menu", "--dump-menu-delay", "0.5"});
    ASSERT_TRUE(dump.waitForFinished(180'000));
    EXPECT_EQ(dump.exitCode(), 0);
    const QByteArray dumpErr = dump.readAllStandardError();
    EXPECT_TRUE(dumpErr.contains("[Zelvan] menu dump:\n")) << dumpErr.toStdString();
    EXPECT_FALSE(dumpErr.contains("already running"));
    // The popover's own menu, signed out and idle: its header, the kick-in block
    // with the key as this desktop writes it, and the up-next section.
    const QString menu = QString::fromUtf8(dump.readAllStandardOutput());
    EXPECT_TRUE(menu.startsWith("Not signed in — ")) << menu.toStdString();
    EXPECT_TRUE(menu.contains("\n[Kick in Ctrl+Alt+R]\n  records screen & audio\n")) << menu.toStdString();
    EXPECT_TRUE(menu.contains("\n// UP NEXT (")) << menu.toStdString();

    EXPECT_EQ(first->state(), QProcess::Running);
    terminate(*first);
    // "already running" goes to the system log only, never into the running one's file.
    EXPECT_FALSE(readFile(support.file("zelvan.log")).contains("already running"));
    EXPECT_TRUE(QString::fromUtf8(readFile(support.file("zelvan.log"))).contains("menu dump:\n" + menu.chopped(1)));
}

TEST(InstanceDesktop, UiCheckReportsEachStepAndEnds)
{
    TempSupport support;
    QProcess p;
    p.start(ZELVAN_EXECUTABLE, {"--ui-check"});
    ASSERT_TRUE(p.waitForFinished(120'000));
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << lines.join('\n').toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith("ui-check: ")) << line.toStdString();
    EXPECT_TRUE(lines[0].startsWith("ui-check: popover open=")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("ui-check: after ↓↓↓ selected=")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("ui-check: after Esc open=")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("ui-check: hud pill frame=")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith("ui-check: hud card frame=")) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].startsWith("ui-check: hud dot frame=")) << lines[5].toStdString();
    EXPECT_EQ(lines[6], "ui-check: done");
    // The real popover opened with a frame and closed on Escape; the real panel
    // showed, kept out of recordings, with the two feed lines.
    EXPECT_TRUE(lines[0].startsWith("ui-check: popover open=true ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QRegularExpression(" frame=\\{\\{-?\\d+, -?\\d+\\}, \\{\\d+, \\d+\\}\\} ")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[2].startsWith("ui-check: after Esc open=false ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(" sharing=none:true")) << lines[3].toStdString();
    for (int i : {3, 4, 5})
        EXPECT_FALSE(lines[i].contains("frame=-")) << lines[i].toStdString();
    EXPECT_TRUE(lines[4].endsWith(" feed=2")) << lines[4].toStdString();
}

TEST(InstanceDesktop, SingleInstanceHandsMessagesLineByLine)
{
    TempSupport support;
    auto first = SingleInstance::claim({"reopen"});
    ASSERT_TRUE(first);
    QStringList heard;
    first->onMessage = [&](const QString& m) { heard << m; };
    // A second claim in this process finds the lock taken and hands over.
    EXPECT_FALSE(SingleInstance::claim({"url zelvan://board", "url zelvan:p/bramel"}));
    QElapsedTimer waited;
    waited.start();
    while (heard.size() < 2 && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(heard, (QStringList{"url zelvan://board", "url zelvan:p/bramel"}));
    // Once the first is gone the lock is free again.
    first.reset();
    EXPECT_TRUE(SingleInstance::claim({"reopen"}));
}
