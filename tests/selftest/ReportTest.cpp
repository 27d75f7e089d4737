#include "selftest/Report.h"
#include "selftest/SelfTest.h"

#include <gtest/gtest.h>

namespace {

struct Captured {
    QStringList lines;
    Report report{[this](const QString& line) { lines << line; }};
};

} // namespace

TEST(Report, LineForms)
{
    Captured c;
    c.report.header(QStringLiteral("/tmp/x"));
    c.report.check(true, QStringLiteral("no detail"));
    c.report.check(true, QStringLiteral("mixed.m4a written"), QStringLiteral("49354 bytes"));
    c.report.check(false, QStringLiteral("mix"), QStringLiteral("nothing to mix"));
    c.report.check(false, QStringLiteral("bare"));
    c.report.info(QStringLiteral("idle 4 s"));
    c.report.note(QStringLiteral("tab spans: []"));
    c.report.section(QStringLiteral("board window, deep links, notifications"));
    const QStringList expected{
        QStringLiteral("Zelvan selftest — files in /tmp/x"),
        QStringLiteral("PASS  no detail"),
        QStringLiteral("PASS  mixed.m4a written  — 49354 bytes"),
        QStringLiteral("FAIL  mix  — nothing to mix"),
        QStringLiteral("FAIL  bare"),
        QStringLiteral("INFO  idle 4 s"),
        QStringLiteral("      tab spans: []"),
        QStringLiteral("-- board window, deep links, notifications"),
    };
    EXPECT_EQ(c.lines, expected);
    EXPECT_EQ(c.report.failures(), 2) << "only FAIL lines count";
}

TEST(Report, SummaryAndExitStatus)
{
    Captured clean;
    clean.report.check(true, QStringLiteral("a"));
    clean.report.info(QStringLiteral("never counts"));
    EXPECT_EQ(clean.report.summary(), 0);
    EXPECT_EQ(clean.lines.mid(clean.lines.size() - 2), (QStringList{QString(), QStringLiteral("ALL PASSED")}));

    Captured three;
    for (int i = 0; i < 3; ++i)
        three.report.check(false, QStringLiteral("x"));
    three.report.check(true, QStringLiteral("y"));
    EXPECT_EQ(three.report.summary(), 1);
    EXPECT_EQ(three.lines.mid(three.lines.size() - 2), (QStringList{QString(), QStringLiteral("3 FAILED")}));
}

TEST(SelfTestArg, ValueAfterTheFirstOccurrenceOnly)
{
    const auto args = [](std::initializer_list<const char*> list) {
        QStringList l{QStringLiteral("zelvan"), QStringLiteral("--selftest")};
        for (const char* a : list)
            l << QString::fromUtf8(a);
        return l;
    };
    const QString out = QStringLiteral("--out");
    EXPECT_EQ(SelfTest::arg(args({"--out", "/tmp/a", "--out", "/tmp/b"}), out), QStringLiteral("/tmp/a"));
    EXPECT_FALSE(SelfTest::arg(args({"--out"}), out)) << "last argument";
    EXPECT_FALSE(SelfTest::arg(args({"--out=/tmp/a"}), out)) << "joined form is not read";
    EXPECT_EQ(SelfTest::arg(args({"--out", "--server", "http://127.0.0.1:1"}), QStringLiteral("--server")),
              QStringLiteral("http://127.0.0.1:1"));
    // A value is taken as it stands, also when it looks like an option (a key may).
    EXPECT_EQ(SelfTest::arg(args({"--key", "--secret-1"}), QStringLiteral("--key")), QStringLiteral("--secret-1"));
    EXPECT_EQ(SelfTest::arg(args({"--server", "--todo-actions"}), QStringLiteral("--server")),
              QStringLiteral("--todo-actions"));
}

TEST(SelfTestArg, OutFolderIsNeverAnOption)
{
    const QString self = QStringLiteral("zelvan");
    const QString st = QStringLiteral("--selftest");
    // The folder is emptied: "--out --server URL" must not make a folder of the option.
    EXPECT_FALSE(SelfTest::outFolder({self, st, QStringLiteral("--out"), QStringLiteral("--server"),
                                      QStringLiteral("http://127.0.0.1:1")}));
    EXPECT_EQ(SelfTest::outFolder({self, st, QStringLiteral("--out"), QStringLiteral("/tmp/a")}),
              QStringLiteral("/tmp/a"));
    EXPECT_FALSE(SelfTest::outFolder({self, st}));
}
