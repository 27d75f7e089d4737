// The executable's answer to its command line.
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    QString out;
    QString err;
    int exitCode = -1;
};

Outcome zelvan(const QStringList& args)
{
    QProcess p;
    p.start(ZELVAN_EXECUTABLE, args);
    EXPECT_TRUE(p.waitForFinished(30'000)) << args.join(' ').toStdString();
    return {QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()), p.exitCode()};
}

} // namespace

TEST(Main, HelpPrintsTheUsage)
{
    const Outcome r = zelvan({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Zelvan records work sessions")) << r.out.toStdString();
}

// Without an X server the tray application says why and leaves, whatever else
// the environment holds.
TEST(Main, WithoutADisplayItSaysSoAndExitsOne)
{
    for (const char* display : {"", ":97"}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("WAYLAND_DISPLAY");
        if (*display)
            env.insert("DISPLAY", display);
        else
            env.remove("DISPLAY");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(ZELVAN_EXECUTABLE, {});
        ASSERT_TRUE(p.waitForFinished(60'000)) << display;
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << display << err.toStdString();
        EXPECT_EQ(p.exitCode(), 1) << display << err.toStdString();
        EXPECT_TRUE(err.contains("Zelvan needs an X11 display; DISPLAY is not set or cannot be opened"))
            << display << err.toStdString();
        EXPECT_FALSE(err.contains("Reinstalling")) << display << err.toStdString();
    }
}
