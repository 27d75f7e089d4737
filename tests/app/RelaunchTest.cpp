#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <optional>

namespace {

struct Outcome {
    QString out;
    int exitCode = -1;
};

Outcome run(const QString& program, const QStringList& args, const std::optional<QString>& limit)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("OMP_THREAD_LIMIT");
    if (limit)
        env.insert("OMP_THREAD_LIMIT", *limit);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30'000)) << program.toStdString();
    return {QString::fromUtf8(p.readAllStandardOutput()), p.exitCode()};
}

} // namespace

TEST(Relaunch, OpenMPSeesTheThreadLimitFromProcessStart)
{
    // Setting the variable without running again would leave OpenMP unlimited.
    const struct {
        std::optional<QString> limit;
        QString expected;
    } cases[] = {
        {std::nullopt, "limit=1 env=1 args=one two|--x\n"},
        {"", "limit=1 env=1 args=one two|--x\n"},
        {"3", "limit=3 env=3 args=one two|--x\n"}, // a limit the user chose stays
    };
    for (const auto& c : cases) {
        const Outcome r = run(ZELVAN_RELAUNCH_PROBE, {"one two", "--x"}, c.limit);
        EXPECT_EQ(r.out, c.expected) << c.limit.value_or("(unset)").toStdString();
        EXPECT_EQ(r.exitCode, 0);
    }
}

TEST(Relaunch, ZelvanPrintsItsUsageOnceAfterRelaunching)
{
    const Outcome r = run(ZELVAN_EXECUTABLE, {"--help"}, std::nullopt);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Zelvan records work sessions")) << r.out.toStdString();
    EXPECT_EQ(r.out.count("Usage: zelvan"), 1) << r.out.toStdString();
}
