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
        {{"--selftest"}, "--selftest"},
        {{"--selftest", "--out", "report.json"}, "--selftest"},
        {{"--make-iconset", "icons"}, "--make-iconset"},
        {{"--render-previews", "previews"}, "--render-previews"},
        {{"--sign-in"}, "--sign-in"},
        {{"--retry-pending"}, "--retry-pending"},
        {{"--preview", "--wrap"}, "--preview"},
        {{"--dump-menu", "--dump-menu-delay", "2"}, "--dump-menu"},
        {{"--ui-check"}, "--ui-check"},
        {{"--board-check", "http://127.0.0.1:1"}, "--board-check"},
    };
    for (const auto& c : cases) {
        const Outcome r = zelvan(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_EQ(r.err, QString("zelvan: ") + c.name + " is not available in this build\n");
        EXPECT_EQ(r.out, "") << c.name;
    }
}

TEST(Main, UnknownArgumentsGetTheUsageOnStandardError)
{
    for (const QStringList& args : {QStringList{"--frobnicate"}, QStringList{"recording"}, QStringList{"-x", "1"}}) {
        const Outcome r = zelvan(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("Zelvan records work sessions")) << r.err.toStdString();
        EXPECT_EQ(r.out, "");
    }
}
