// "--preview --wrap" in the running application on the private desktop: the
// end-of-day window with its sample content appears under its title.
#include "support/TestSupport.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// The X windows whose name is exactly `name`.
QStringList windowsNamed(const QString& name)
{
    QProcess p;
    p.start("xdotool", {"search", "--name", "^" + name + "$"});
    p.waitForFinished(30'000);
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(LaunchPreviewDesktop, WrapShowsTheEndOfDayWindow)
{
    TempSupport support;
    ASSERT_TRUE(windowsNamed("End my day").isEmpty());
    QProcess app;
    app.start(ZELVAN_EXECUTABLE, {"--preview", "--wrap"});
    ASSERT_TRUE(app.waitForStarted(30'000));
    EXPECT_TRUE(waitFor([] { return !windowsNamed("End my day").isEmpty(); }, 120))
        << app.readAllStandardError().toStdString();
    EXPECT_EQ(app.state(), QProcess::Running);
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(60'000));
    EXPECT_EQ(app.exitCode(), 0);
}
