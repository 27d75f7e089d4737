// The platform checks against the test platform over real HTTP, with the
// private desktop's keyring.
#include "selftest/Live.h"
#include "selftest/ReportLines.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"

TEST(PlatformChecks, AnAccountWithoutProjectsFailsOnceForThatOneCause)
{
    qputenv("ZELVAN_NO_BROWSER", "1");
    FakePlatform fake;
    fake.start();
    FakeWebPlatform::Options options;
    options.projects = {};
    FakeWebPlatform web(fake, options);

    RunContext run;
    run.args = QStringList{QStringLiteral("zelvan"), QStringLiteral("--selftest"), QStringLiteral("--platform"),
                           fake.base()};
    const ReportLines l = ReportLines::capture([&] { SelfTest::platformChecks(run); });
    EXPECT_TRUE(l.of(QStringLiteral("GET /api/v1/me with the account key")).startsWith(QStringLiteral("FAIL  ")))
        << l.joined().toStdString();
    EXPECT_EQ(l.of(QStringLiteral("a wrong key is refused")), QStringLiteral("PASS  a wrong key is refused (401)"));
    EXPECT_EQ(l.of(QStringLiteral("route/score on every project")), QStringLiteral("PASS  route/score on every project"))
        << "no projects, no scores: nothing failed to score";
    EXPECT_EQ(l.failed, 1) << l.joined().toStdString();
}
