// The device-code sign-in against the web platform fake: the flow itself on a
// moved clock, and the SignIn model on the event loop with the real keyring.
#include "core/APIError.h"
#include "core/Accounts.h"
#include "core/Keychain.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "core/SignInError.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QUuid>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Phase = SignIn::Phase;

QByteArray log()
{
    slogFlush();
    return readFile(Paths::logFile());
}

// What a flow run brought: the approval or the text of what it threw.
struct Outcome {
    std::optional<WebPlatform::Approval> approval;
    QString error;
};

// The flow on a clock that each pause moves forward instead of sleeping.
class DeviceFlow : public testing::Test {
protected:
    Outcome run(FakeWebPlatform::Options options, const std::function<void(FakePlatform&)>& prepare = {})
    {
        FakePlatform platform;
        platform.start();
        FakeWebPlatform web(platform, std::move(options));
        if (prepare)
            prepare(platform);
        polls_ = -1;
        pollsAtFirstPause_ = -1;
        const WebPlatform::Pause pause = [&](double seconds) {
            if (pollsAtFirstPause_ < 0)
                pollsAtFirstPause_ = web.polls();
            EXPECT_EQ(seconds, interval_);
            clock_.advance(seconds);
            return true;
        };
        const double started = clock_.uptime();
        Outcome out;
        try {
            out.approval = WebPlatform::deviceFlow(
                platform.base(), [&](const DeviceStart& s) { interval_ = s.interval; }, pause);
        } catch (const SignInError& e) {
            out.error = e.description();
        } catch (const APIError& e) {
            out.error = e.description();
        }
        polls_ = web.polls();
        elapsed_ = clock_.uptime() - started;
        return out;
    }

    TempSupport support_;
    FixedClock clock_;
    double interval_ = 0;
    int polls_ = -1;
    int pollsAtFirstPause_ = -1;
    double elapsed_ = 0;
};

} // namespace

TEST_F(DeviceFlow, EndsWithTheBrowsersAnswer)
{
    using A = FakeWebPlatform::Approval;
    struct Case {
        const char* what;
        FakeWebPlatform::Options options;
        QString error; // empty: approved
        int polls;
    };
    const Case cases[] = {
        {"approve", {.approval = A::approve}, "", 1},
        {"slow approve", {.approval = A::slowApprove, .slowPolls = 3}, "", 4},
        {"deny", {.approval = A::deny}, SignInError::declined, 1},
        {"expire", {.approval = A::expire}, SignInError::expired, 1},
        {"development paths", {.appPaths = true, .approval = A::approve, .startExtra = {{"interval", 2}}}, "", 1},
    };
    for (const Case& c : cases) {
        const Outcome out = run(c.options);
        EXPECT_EQ(out.error, c.error) << c.what;
        EXPECT_EQ(polls_, c.polls) << c.what;
        EXPECT_EQ(pollsAtFirstPause_, 0) << c.what << ": the first poll waits one interval";
        if (c.error.isEmpty()) {
            ASSERT_TRUE(out.approval) << c.what;
            EXPECT_EQ(out.approval->key, "zv_test_account_key");
            EXPECT_EQ(out.approval->email, "ada@example.com");
            EXPECT_EQ(out.approval->name, "Ada Lovelace");
        }
    }
    EXPECT_EQ(interval_, 2);

    // An answer the flow cannot use ends it with the server's text.
    const Outcome odd = run({.approval = FakeWebPlatform::Approval::hold}, [](FakePlatform& p) {
        p.fail("POST", "/device/poll", {.status = 200, .body = R"({"status":"locked","error":"too many attempts"})"});
    });
    EXPECT_EQ(odd.error, "too many attempts");
}

TEST_F(DeviceFlow, TheLocalDeadlineIsTheCodesLifetimeAtMostFifteenMinutes)
{
    const Outcome longLived = run(
        {.approval = FakeWebPlatform::Approval::hold, .startExtra = {{"interval", 30}, {"expires_in", 3600}}});
    EXPECT_EQ(longLived.error, SignInError::expired);
    EXPECT_EQ(polls_, 30) << "polls at 30 s … 900 s";
    EXPECT_EQ(elapsed_, 930);

    const Outcome shortLived = run(
        {.approval = FakeWebPlatform::Approval::hold, .startExtra = {{"interval", 30}, {"expires_in", 60}}});
    EXPECT_EQ(shortLived.error, SignInError::expired);
    EXPECT_EQ(polls_, 2);
}

TEST_F(DeviceFlow, NetworkTroubleWhilePollingIsSurvived)
{
    const Outcome out = run({.approval = FakeWebPlatform::Approval::slowApprove, .slowPolls = 1}, [](FakePlatform& p) {
        p.fail("POST", "/device/poll", {.drop = true});
        p.fail("POST", "/device/poll", {.status = 502, .body = R"({"error":"bad gateway"})"});
    });
    ASSERT_TRUE(out.approval) << out.error.toStdString();
    EXPECT_EQ(polls_, 2) << "two answered polls after two failed ones";
    EXPECT_EQ(elapsed_, 4);
    const QByteArray lines = log();
    EXPECT_TRUE(lines.contains("sign-in poll: bad gateway (HTTP 502)"));
    EXPECT_EQ(lines.count("sign-in poll: "), 2);
    EXPECT_FALSE(lines.contains("dev-")) << "the device code is never logged";
}

TEST_F(DeviceFlow, AServersErrorTextCannotStartALogLineOfItsOwn)
{
    const Outcome out = run({.approval = FakeWebPlatform::Approval::slowApprove, .slowPolls = 1}, [](FakePlatform& p) {
        p.fail("POST", "/device/poll",
               {.status = 502, .body = R"({"error":"bad\n[Zelvan] signed out\r\u2028\u0085\u0000end"})"});
    });
    ASSERT_TRUE(out.approval) << out.error.toStdString();
    const QString lines = QString::fromUtf8(log());
    EXPECT_TRUE(lines.contains("sign-in poll: bad [Zelvan] signed out    end (HTTP 502)\n")) << lines.toStdString();
    for (const QString& line : lines.split(u'\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  ").match(line).hasMatch())
            << line.toStdString();
}

TEST_F(DeviceFlow, AFailedStartPassesThrough)
{
    FakePlatform stopped;
    stopped.start();
    const QString base = stopped.base();
    stopped.stop();
    try {
        WebPlatform::deviceFlow(base, {}, [](double) { return true; });
        FAIL() << "no error";
    } catch (const APIError& e) {
        EXPECT_EQ(e.status(), 0);
    }
}

namespace {

// The SignIn model over the event loop, storing into the real keyring under a
// service of its own.
class SignInModel : public testing::Test {
protected:
    void SetUp() override
    {
        previousService_ = Keychain::service();
        Keychain::setService("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
        platform_.start();
        settings_.setPlatformBase(platform_.base() + "/");
        signIn_.setPause([](double) { std::this_thread::sleep_for(5ms); });
        signIn_.openBrowser = [this](const Url& url) { opened_.push_back(url.text()); };
        signIn_.onSignedIn = [this] { ++signedIn_; };
        QObject::connect(&signIn_, &SignIn::phaseChanged, [this] { phases_.push_back(signIn_.phase()); });
    }
    void TearDown() override
    {
        signIn_.cancel();
        Keychain::remove(Keychain::accountItem);
        Keychain::setService(previousService_);
    }

    QString url() const { return platform_.base() + "/app/device?code=ABCD-1234"; }
    int starts() const
    {
        int n = 0;
        for (const auto& r : platform_.requests())
            n += r.path.ends_with("/start");
        return n;
    }
    bool phaseIs(Phase::Kind kind) const { return signIn_.phase().kind == kind; }

    TempSupport support_;
    FakePlatform platform_;
    Settings settings_{Settings::suite("test-" + QUuid::createUuid().toString(QUuid::WithoutBraces))};
    Accounts accounts_{settings_};
    SignIn signIn_;
    std::vector<Phase> phases_;
    std::vector<QString> opened_;
    int signedIn_ = 0;

private:
    QString previousService_;
};

} // namespace

TEST_F(SignInModel, ApprovalStoresTheAccount)
{
    FakeWebPlatform web(platform_);
    signIn_.begin(accounts_);
    ASSERT_TRUE(waitFor([&] { return signedIn_ > 0; }));
    const Url page = *Url::parse(url());
    EXPECT_EQ(phases_,
              (std::vector<Phase>{Phase::starting(), Phase::waiting("ABCD-1234", page), Phase::finishing(),
                                  Phase::idle()}));
    EXPECT_EQ(opened_, std::vector<QString>{url()});
    EXPECT_TRUE(accounts_.signedIn());
    EXPECT_EQ(settings_.accountName(), "Ada Lovelace");
    EXPECT_EQ(Keychain::get("account"), "zv_test_account_key");

    const QByteArray lines = log();
    EXPECT_TRUE(lines.contains("sign-in: code ABCD-1234 via /device/start, approve at " + url().toUtf8()));
    EXPECT_TRUE(lines.contains("sign-in: signed in as ada@example.com"));
    EXPECT_FALSE(lines.contains("zv_test_account_key"));
    EXPECT_EQ(signedIn_, 1);
}

TEST_F(SignInModel, FailuresAreShownAndNothingIsStored)
{
    {
        FakeWebPlatform web(platform_, {.approval = FakeWebPlatform::Approval::deny});
        signIn_.begin(accounts_);
        ASSERT_TRUE(waitFor([&] { return phaseIs(Phase::Kind::failed); }));
        EXPECT_EQ(signIn_.phase(), Phase::failed(SignInError::declined));
        EXPECT_FALSE(signIn_.busy());
        EXPECT_FALSE(signIn_.code());
    }

    // After a failure a new attempt starts afresh; here the server is gone.
    const QString base = platform_.base();
    platform_.stop();
    signIn_.begin(accounts_);
    EXPECT_TRUE(signIn_.busy());
    ASSERT_TRUE(waitFor([&] { return phaseIs(Phase::Kind::failed) && phases_.size() > 3; }));
    EXPECT_TRUE(signIn_.phase().message.startsWith(QString::fromUtf8("Couldn\u2019t reach 127.0.0.1: ")))
        << signIn_.phase().message.toStdString();

    settings_.setPlatformBase("nohost");
    signIn_.begin(accounts_);
    ASSERT_TRUE(waitFor([&] { return phaseIs(Phase::Kind::failed) && phases_.size() > 5; }));
    EXPECT_EQ(signIn_.phase().message, QString::fromUtf8("Couldn\u2019t reach nohost: no device endpoint"));

    EXPECT_FALSE(accounts_.signedIn());
    EXPECT_FALSE(Keychain::get("account"));
    EXPECT_EQ(signedIn_, 0);
}

TEST_F(SignInModel, BeginWhileWaitingChangesNothingAndReopenOpensAgain)
{
    FakeWebPlatform web(platform_, {.approval = FakeWebPlatform::Approval::hold});
    EXPECT_FALSE(signIn_.busy());
    signIn_.begin(accounts_);
    ASSERT_TRUE(waitFor([&] { return phaseIs(Phase::Kind::waiting); }));
    EXPECT_EQ(signIn_.code(), "ABCD-1234");
    EXPECT_TRUE(signIn_.busy());

    signIn_.begin(accounts_);
    signIn_.reopen();
    ASSERT_TRUE(waitFor([&] { return web.polls() >= 3; }));
    EXPECT_EQ(starts(), 1);
    EXPECT_EQ(opened_, (std::vector<QString>{url(), url()}));
    EXPECT_TRUE(phaseIs(Phase::Kind::waiting)) << "pending polls keep waiting";

    web.approve();
    ASSERT_TRUE(waitFor([&] { return signedIn_ > 0; }));
    EXPECT_TRUE(accounts_.signedIn());
}

TEST_F(SignInModel, CancelDropsALateApproval)
{
    FakeWebPlatform web(platform_, {.approval = FakeWebPlatform::Approval::hold});
    signIn_.begin(accounts_);
    ASSERT_TRUE(waitFor([&] { return web.polls() >= 1; }));

    // The approval is on its way when the user cancels.
    web.approve();
    const int before = web.polls();
    platform_.fail("POST", "/device/poll", {.delay = 400ms});
    ASSERT_TRUE(waitFor([&] {
        int seen = 0;
        for (const auto& r : platform_.requests())
            seen += r.path == "/device/poll";
        return seen > before;
    }));
    signIn_.cancel();
    EXPECT_TRUE(phaseIs(Phase::Kind::idle));

    ASSERT_TRUE(waitFor([&] { return web.polls() > before; }));
    waitFor([] { return false; }, 0.3);
    EXPECT_TRUE(phaseIs(Phase::Kind::idle));
    EXPECT_FALSE(accounts_.signedIn());
    EXPECT_FALSE(Keychain::get("account"));
    EXPECT_EQ(signedIn_, 0);
    EXPECT_EQ(web.polls(), before + 1) << "the cancelled flow polls no more";
}

TEST_F(SignInModel, OnlyWebPagesAreOpened)
{
    for (const char* page : {"file:///etc/passwd", "javascript:alert(1)", "x-scheme-handler:run"}) {
        FakeWebPlatform web(platform_,
                            {.approval = FakeWebPlatform::Approval::hold, .startExtra = {{"verify_url", page}}});
        signIn_.begin(accounts_);
        ASSERT_TRUE(waitFor([&] { return phaseIs(Phase::Kind::waiting); })) << page;
        signIn_.reopen();
        signIn_.cancel();
    }
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(log().count("sign-in: not opening an approval page that is not a web address"), 6);
}

// ZELVAN_NO_BROWSER and the keyring connection are read by the process, so
// these run in fresh copies of the test program.
class SignInProcess : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(SignInProcess, WithNoBrowserThePageIsOnlyLogged)
{
    EXPECT_EXIT(
        {
            TempSupport support;
            qputenv("ZELVAN_NO_BROWSER", "1");
            SignIn::openInBrowser(*Url::parse("http://127.0.0.1:7440/app/device?code=A"));
            std::exit(log().contains("sign-in: would open http://127.0.0.1:7440/app/device?code=A") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(SignInProcess, AKeyringThatRefusesTheKeyFailsTheSignIn)
{
    EXPECT_EXIT(
        {
            TempSupport support;
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zelvan-bus");
            FakePlatform platform;
            platform.start();
            FakeWebPlatform web(platform);
            Settings settings(Settings::suite("test-refused"));
            settings.setPlatformBase(platform.base());
            Accounts accounts(settings);
            SignIn signIn;
            signIn.setPause([](double) {});
            signIn.openBrowser = [](const Url&) {};
            bool called = false;
            signIn.onSignedIn = [&] { called = true; };
            signIn.begin(accounts);
            const bool failed = waitFor([&] { return signIn.phase().kind == Phase::Kind::failed; });
            const bool ok = failed && signIn.phase().message == SignIn::keyringFailed && !called && !accounts.signedIn()
                && !settings.accountEmail();
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "keychain set failed");
}
