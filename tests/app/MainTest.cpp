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

TEST(Main, ModesThisBuildLacksFailInsteadOfPassing)
{
    const struct {
        QStringList args;
        const char* name;
    } cases[] = {
        {{"--make-iconset", "icons"}, "--make-iconset"},
        {{"--render-previews", "previews"}, "--render-previews"},
        {{"--sign-in"}, "--sign-in"},
        {{"--retry-pending"}, "--retry-pending"},
        {{"--preview", "--wrap"}, "--preview"},
        {{"--board-check", "http://127.0.0.1:1"}, "--board-check"},
    };
    for (const auto& c : cases) {
        const Outcome r = zelvan(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_EQ(r.err, QString("zelvan: ") + c.name + " is not available in this build\n");
        EXPECT_EQ(r.out, "") << c.name;
    }
}

TEST(Main, HelpPrintsTheUsage)
{
    const Outcome r = zelvan({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Zelvan records work sessions")) << r.out.toStdString();
}
