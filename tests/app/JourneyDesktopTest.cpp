// The whole road on the private desktop: the real application, signed in to the
// fake platform with two projects, records a window with known text and a tone
// on the speaker, is asked where the session goes, and files it there.
#include "../platform/DesktopHelpers.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "core/WebPlatform.h"
#include "session/OCR.h"
#include "session/Session.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/JourneyDriver.h"
#include "support/TextImages.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

const QString windowText = QStringLiteral("Quarterly budget review");

// A sound server of the test's own, like the private desktop's, to take away from
// under a recording.
class PrivatePulse {
public:
    PrivatePulse()
    {
        const QString pa = dir_.filePath("pulse.pa");
        writeFile(pa,
                  QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                                 "load-module module-null-sink sink_name=spk rate=48000 channels=1 "
                                 "channel_map=mono\n"
                                 "load-module module-null-sink sink_name=micfeed rate=48000 channels=1 "
                                 "channel_map=mono\n"
                                 "load-module module-remap-source source_name=vmic master=micfeed.monitor "
                                 "rate=48000 channels=1 channel_map=mono\n"
                                 "set-default-sink spk\nset-default-source vmic\n")
                      .arg(dir_.filePath("native"))
                      .toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir_.path());
        env.remove("PULSE_SERVER");
        // The desktop's own server holds the bus name; this one stays off the bus.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.filePath("no-bus"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("pulseaudio",
                       {"-n", "--daemonize=no", "--use-pid-file=no", "--system=no", "--realtime=no",
                        "--high-priority=no", "--disallow-exit", "--exit-idle-time=-1", "--log-target=stderr",
                        "--log-level=error", "--file=" + pa});
        ok_ = process_.waitForStarted(10'000) && waitFor([&] { return run("pactl", {"-s", server(), "info"}); }, 30);
    }
    ~PrivatePulse() { kill(); }
    bool ok() const { return ok_; }
    QString server() const { return "unix:" + dir_.filePath("native"); }
    void kill()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10'000);
        }
    }

private:
    QTemporaryDir dir_{"/tmp/zelvan-pulse-XXXXXX"};
    QProcess process_;
    bool ok_ = false;
};

class Journey : public testing::Test {
protected:
    TempSupport support;
    FakePlatform platform;
    std::unique_ptr<FakeWebPlatform> web;
    const QString suite = "journey-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    PrivateKeyring keyring;
    QLabel window;
    JourneyDriver app{ZELVAN_EXECUTABLE};

    // Signed in on the fake platform, with the projects Alpha and Beta or none.
    void prepare(bool projects)
    {
        FakeWebPlatform::Options o;
        o.projects.clear();
        if (projects)
            o.projects = {{"alpha", "Alpha", "owner"}, {"beta", "Beta", "member"}};
        web = std::make_unique<FakeWebPlatform>(platform, o);
        platform.start();
        std::vector<Workspace> listed;
        if (projects) {
            web->project("alpha").setRouteScore({{"score", 0.8}, {"reasons", QJsonArray{"with Ada"}}});
            web->project("beta").setRouteScore({{"score", 0.3}, {"reasons", QJsonArray{"mentions beta"}}});
            listed = {WebPlatform::project(platform.base(), "alpha", "Alpha", "owner"),
                      WebPlatform::project(platform.base(), "beta", "Beta", "member")};
        }

        // The account as a sign-in leaves it: key in the keyring, projects in the settings suite.
        qputenv("ZELVAN_KEYCHAIN_SERVICE", keyring.name().toUtf8());
        Settings settings(Settings::suite(suite));
        settings.setPlatformBase(platform.base());
        Accounts accounts(settings);
        ASSERT_TRUE(accounts.signIn(QString::fromStdString(o.key), "ada@example.com", "Ada Lovelace"));
        accounts.apply({"ada@example.com", "Ada Lovelace", std::nullopt}, listed);

        // Known text on screen, clear of the tray at the bottom and the nudges at the top right.
        window.setText(windowText);
        window.setFont(TextImages::font(56, true));
        window.setStyleSheet("QLabel { background: white; color: black; padding: 40px; }");
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.setGeometry(60, 300, 1000, 260);
        window.show();
        ASSERT_TRUE(waitFor([&] { return window.isVisible(); }, 30));
        JourneyDriver::spend(1);
    }
    void TearDown() override
    {
        app.stop();
        qunsetenv("ZELVAN_KEYCHAIN_SERVICE");
    }

    void launch(const QString& askSeconds = {}, const QString& soundServer = {})
    {
        JourneyDriver::Launch l{.suite = suite, .keyringService = keyring.name()};
        if (!askSeconds.isEmpty())
            l.env["ZELVAN_ASK_SECONDS"] = askSeconds;
        if (!soundServer.isEmpty())
            l.env["PULSE_SERVER"] = soundServer;
        ASSERT_TRUE(app.launch(l)) << app.log().toStdString();
    }
    std::string err() { return app.log().toStdString(); }

    // Ctrl+Alt+R: the folder of the session being recorded.
    QString kickIn()
    {
        const QString dir = app.kickIn();
        EXPECT_FALSE(dir.isEmpty()) << "no recording started\n" << err();
        return dir;
    }

    // Ctrl+Alt+R, ten seconds of the window and a tone, Ctrl+Alt+R: the session's folder.
    QString recordTenSeconds()
    {
        const QString tone = makeTone(support.path(), 14, 440);
        EXPECT_FALSE(tone.isEmpty());
        const QString dir = kickIn();
        QProcess speaker;
        speaker.start("paplay", {"--device=spk", tone});
        JourneyDriver::spend(10);
        EXPECT_TRUE(app.wrapUp());
        speaker.waitForFinished(30'000);
        return dir;
    }

    std::vector<WorkspaceServer::Call> calls()
    {
        std::vector<WorkspaceServer::Call> out;
        for (const auto& [id, call] : web->personal().calls())
            out.push_back(call);
        return out;
    }

    // The fake platform holds one call with the recording's audio, shots and screen text.
    void expectFiled(const std::string& project, bool withSound = true)
    {
        ASSERT_TRUE(waitFor([&] { return calls().size() == 1 && calls()[0].processed; }, 180)) << "nothing uploaded\n"
                                                                                               << err();
        const WorkspaceServer::Call call = calls()[0];
        EXPECT_EQ(call.project, project);
        EXPECT_GT(call.audioBytes, 10'000);
        EXPECT_FALSE(call.payload["shots"].toArray().isEmpty());
        if (withSound) {
            EXPECT_FALSE(call.payload["levels"].toObject()["tab"].toArray().isEmpty()) << "the tone was not heard";
        }
        QString seen;
        for (const auto& entry : call.payload["ocr"].toArray())
            seen += entry.toObject()["text"].toString() + '\n';
        EXPECT_TRUE(seen.contains(windowText)) << seen.toStdString();
        EXPECT_TRUE(waitFor([] { return JourneyDriver::sessionFolders().isEmpty(); }, 30))
            << "the session folder stayed";
    }
};

} // namespace

TEST_F(Journey, ARecordingIsFiledToTheProjectTheUserClicks)
{
    prepare(true);
    launch();
    const QString dir = recordTenSeconds();
    ASSERT_TRUE(app.logged("[Zelvan] where ")) << err();
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    const QString title = session->meta().title;
    // Not a call: Personal is suggested and leads, then the projects by score.
    const QString message = "“" + title
        + "”\nSuggested: Personal · a work session — only you see it\nNo choice in 2 min → Personal.";
    JourneyDriver::spend(1); // the card fades in
    const auto alpha = app.routeButton(message, {"Personal (private)", "Alpha · 80%", "Beta · 30%"}, 1);
    ASSERT_TRUE(alpha) << "no route card on screen";
    ASSERT_TRUE(JourneyDriver::click(*alpha));
    expectFiled("alpha");
    EXPECT_TRUE(app.logged("@ Alpha (score 80%, auto false)")) << err();
}

TEST_F(Journey, NoAnswerFilesTheRecordingToPersonal)
{
    prepare(true);
    launch("3");
    recordTenSeconds();
    ASSERT_TRUE(app.logged(": no choice in 3 s -> Personal")) << err();
    expectFiled("personal");
}

TEST_F(Journey, ASoundServerThatDiesMidRecordingIsToldAndTheSessionStillFiled)
{
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.ok()) << "no private sound server";
    prepare(false);
    launch({}, pulse.server());
    const QString tone = makeTone(support.path(), 20, 440);
    kickIn();
    QProcess speaker;
    speaker.start("paplay", {"-s", pulse.server(), "--device=spk", tone});
    JourneyDriver::spend(6);
    pulse.kill();

    // The nudge at the top right says so.
    const QRect corner = QGuiApplication::primaryScreen()->geometry();
    QString seen;
    EXPECT_TRUE(waitFor(
        [&] {
            const QImage shot =
                QGuiApplication::primaryScreen()->grabWindow(0, corner.width() - 520, 0, 520, 320).toImage();
            seen = OCR::text(shot);
            return seen.contains("Session stopped by the system");
        },
        60))
        << seen.toStdString() << "\n"
        << err();
    // Signed in without a project: straight to Personal, with what was recorded.
    expectFiled("personal", false);
    speaker.waitForFinished(10'000);
}

TEST_F(Journey, AQuitDuringAnUploadEndsAndTheNextStartSendsTheSessionOnce)
{
    prepare(false);
    // The platform holds its answer to the audio until the test lets go.
    FakePlatform::Gate gate;
    platform.fail("POST", "/api/v1/personal/calls/[^/]+/audio", {.status = 503, .hold = gate.hold()});
    launch();
    const QString dir = recordTenSeconds();
    ASSERT_TRUE(waitFor([&] { return gate.waiting() == 1; }, 180)) << "the upload never sent its audio\n" << err();

    app.terminate();
    // Well before the request would time out on its own.
    ASSERT_TRUE(app.ended(45)) << "the quit waited for the upload\n" << err();
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_EQ(gate.waiting(), 1);
    {
        // Ended at the upload's last mark: the call is known, and no failure was
        // written, as a request that timed out on its own would have.
        auto session = Session::load(dir);
        ASSERT_TRUE(session);
        EXPECT_TRUE(session->meta().callId);
        EXPECT_FALSE(session->meta().lastError) << session->meta().lastError->toStdString();
    }
    gate.open();

    // The next start takes the session up where it stopped.
    JourneyDriver again{ZELVAN_EXECUTABLE};
    ASSERT_TRUE(again.launch({.suite = suite, .keyringService = keyring.name(), .args = {"--retry-pending"}}))
        << again.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return calls().size() == 1 && calls()[0].processed; }, 180)) << again.log().toStdString();
    EXPECT_GT(calls()[0].audioBytes, 10'000);
    EXPECT_TRUE(waitFor([&] { return !QDir(dir).exists(); }, 30));
    int created = 0;
    for (const auto& r : platform.requests())
        created += r.method == "POST" && r.path == "/api/v1/personal/calls";
    EXPECT_EQ(created, 1);
    again.stop();
}
