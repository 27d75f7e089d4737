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
