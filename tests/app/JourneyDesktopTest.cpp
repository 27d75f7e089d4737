// The whole road on the private desktop: the real application, signed in to the
// fake platform with two projects, records a window with known text and a tone
// on the speaker, is asked where the session goes, and files it there.
#include "../platform/DesktopHelpers.h"
#include "activity/WorkdayTracker.h"
#include "core/Accounts.h"
#include "core/Fmt.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "core/WebPlatform.h"
#include "session/OCR.h"
#include "session/Session.h"
#include "support/BoardSite.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/JourneyDriver.h"
#include "support/PrivatePulse.h"
#include "support/TextImages.h"
#include "support/TraySlash.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QUuid>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString windowText = QStringLiteral("Quarterly budget review");

// The bounding box of an image's light pixels, with a small margin; empty when
// there are none.
QRect litArea(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 200)
                box |= QRect(x, y, 1, 1);
    return box.isEmpty() ? box : box.adjusted(-4, -4, 4, 4) & image.rect();
}

// A sound server of the test's own laid out like the private desktop's, to take
// away from under a recording.
const QString desktopLikeSound =
    QStringLiteral("load-module module-null-sink sink_name=spk rate=48000 channels=1 channel_map=mono\n"
                   "load-module module-null-sink sink_name=micfeed rate=48000 channels=1 channel_map=mono\n"
                   "load-module module-remap-source source_name=vmic master=micfeed.monitor rate=48000 channels=1 "
                   "channel_map=mono\n"
                   "set-default-sink spk\nset-default-source vmic\n");

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

    void launch(const QString& askSeconds = {}, const QString& soundServer = {}, JourneyDriver* driver = nullptr,
                const QStringList& args = {})
    {
        JourneyDriver& app = driver ? *driver : this->app;
        JourneyDriver::Launch l{.suite = suite, .keyringService = keyring.name(), .args = args};
        if (!askSeconds.isEmpty())
            l.env["ZELVAN_ASK_SECONDS"] = askSeconds;
        if (!soundServer.isEmpty())
            l.env["PULSE_SERVER"] = soundServer;
        ASSERT_TRUE(app.launch(l)) << app.log().toStdString();
    }
    std::string err() { return app.log().toStdString(); }

    // Another run of zelvan beside the one under test, with its account.
    QProcess* beside(const QStringList& args)
    {
        auto* p = new QProcess(&window);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZELVAN_DEFAULTS_SUITE", suite);
        env.insert("ZELVAN_KEYCHAIN_SERVICE", keyring.name());
        p->setProcessEnvironment(env);
        p->start(ZELVAN_EXECUTABLE, args);
        return p;
    }

    // Ctrl+Alt+Space pressed, then let go.
    static bool voiceKey()
    {
        return run("xdotool", {"keydown", "ctrl+alt+space"}) && (JourneyDriver::spend(1), true)
            && run("xdotool", {"keyup", "ctrl+alt+space"});
    }

    // The text at the top of the screen, where the listening pill shows.
    static bool topShows(const QString& text, QString* seen)
    {
        return waitFor(
            [&] {
                const QRect screen = QGuiApplication::primaryScreen()->geometry();
                *seen = OCR::text(QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, screen.width(), 240).toImage());
                return seen->contains(text);
            },
            30);
    }

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
    PrivatePulse pulse(desktopLikeSound);
    ASSERT_TRUE(pulse.started()) << "no private sound server";
    prepare(false);
    launch({}, pulse.address());
    const QString tone = makeTone(support.path(), 20, 440);
    kickIn();
    QProcess speaker;
    speaker.start("paplay", {"-s", pulse.address(), "--device=spk", tone});
    JourneyDriver::spend(6);
    pulse.kill();

    // The nudge at the top right says so.
    const QRect corner = QGuiApplication::primaryScreen()->geometry();
    QString seen;
    EXPECT_TRUE(waitFor(
        [&] {
            const QImage shot =
                QGuiApplication::primaryScreen()->grabWindow(0, corner.width() - 520, 0, 520, 320).toImage();
            // The card alone: its light face over the bare desktop's black makes the
            // page's layout analysis miss lines when read with the dark around it.
            const QRect card = litArea(shot);
            seen = card.isEmpty() ? QString() : OCR::text(shot.copy(card));
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

TEST_F(Journey, TheWorkDayRecordsTheWindowInFrontAndTheMenuShowsIt)
{
    prepare(true);
    // A day an earlier run recorded and could not send.
    const QDateTime earlier = QDateTime::currentDateTime().addDays(-2);
    {
        WorkdayTracker before(support.file("workday"));
        before.setFrontSource([] { return WorkdayTracker::Front{QStringLiteral("Ledger"), {}, {}}; });
        before.setIdleSource([] { return 0.0; });
        before.sample(true, earlier);
    }
    Settings(Settings::suite(suite)).setTrackWorkday(true);
    const QString title = QStringLiteral("budget.ods — Ledger");
    window.setWindowTitle(title);
    JourneyDriver::spend(1);
    const QString id = QString::number(window.winId());
    ASSERT_TRUE(run("xdotool", {"set_window", "--classname", "ledger", "--class", "Ledger", id}));
    ASSERT_TRUE(run("xdotool", {"windowactivate", "--sync", id}));
    launch();

    // The earlier day goes out at launch.
    ASSERT_TRUE(waitFor([&] { return !web->project("alpha").workdays().empty(); }, 60)) << err();
    EXPECT_EQ(web->project("alpha").workdays()[0]["day"].toString(), Fmt::day(earlier));

    // A minute of the window in front.
    std::vector<WorkSpan> spans;
    ASSERT_TRUE(waitFor(
        [&] {
            spans = WorkdayTracker::load(Fmt::day(QDateTime::currentDateTime()), support.file("workday"));
            return !spans.empty() && spans.back().start.secsTo(spans.back().end) >= 60;
        },
        240))
        << spans.size() << " spans\n"
        << err();
    EXPECT_EQ(spans.back().app, "Ledger");
    EXPECT_EQ(spans.back().title, title);

    // The menu, as a second run prints it.
    QProcess* dump = beside({"--dump-menu", "--dump-menu-delay", "0"});
    ASSERT_TRUE(dump->waitForFinished(60'000));
    const QString menu = QString::fromUtf8(dump->readAllStandardOutput());
    EXPECT_TRUE(menu.contains(QRegularExpression("\\nToday [1-9][0-9]* m tracked"))) << menu.toStdString();
}

TEST_F(Journey, TheVoiceKeyNeverListensToTheSpeakers)
{
    PrivatePulse pulse(desktopLikeSound);
    ASSERT_TRUE(pulse.started()) << "no private sound server";
    ASSERT_TRUE(run("pactl", {"-s", pulse.address(), "set-default-source", "spk.monitor"}));
    prepare(false);
    launch({}, pulse.address());
    ASSERT_TRUE(voiceKey());
    QString seen;
    EXPECT_TRUE(topShows("No microphone input.", &seen)) << seen.toStdString() << "\n" << err();
    EXPECT_FALSE(app.log().contains("voice: listening")) << err();
    QProcess outputs;
    outputs.start("pactl", {"-s", pulse.address(), "list", "source-outputs"});
    outputs.waitForFinished(10'000);
    EXPECT_FALSE(outputs.readAllStandardOutput().contains("voice command"));
}

TEST_F(Journey, TheVoiceKeyLeavesTheAppAnsweringWhileTheSoundServerHangs)
{
    PrivatePulse pulse(desktopLikeSound);
    ASSERT_TRUE(pulse.started()) << "no private sound server";
    prepare(false);
    launch({}, pulse.address());
    pulse.pause();
    ASSERT_TRUE(voiceKey());
    // A link handed over meanwhile is taken while the server still hangs.
    QProcess* link = beside({"zelvan://board"});
    const bool handled = app.logged("[Zelvan] deep link ", 20);
    pulse.resume();
    link->waitForFinished(30'000);
    EXPECT_TRUE(handled) << err();
}

// The board's web engine is loaded the first time the board opens, not at every
// start of a tray app whose board may never show; a link then opens it signed in.
TEST_F(Journey, TheBoardsWebEngineLoadsWhenTheBoardFirstOpens)
{
    prepare(false);
    BoardSite site{platform};
    launch();
    JourneyDriver::spend(2);
    EXPECT_FALSE(libraryLoaded("libQt6WebEngineCore.so", app.pid())) << "loaded at start";

    QProcess* link = beside({"zelvan://board"});
    ASSERT_TRUE(app.logged("[Zelvan] deep link ", 30)) << err();
    link->waitForFinished(30'000);
    EXPECT_TRUE(waitFor([] { return !windowOnScreen("Board /app").isEmpty(); }, 90)) << err();
    EXPECT_TRUE(libraryLoaded("libQt6WebEngineCore.so", app.pid()));
    EXPECT_EQ(site.exchanges(), 1);
}

// A program installed without its board library still runs; asked for the board
// it says in plain words what is missing and what puts it back.
TEST_F(Journey, AMissingBoardLibraryIsToldInPlainWords)
{
    prepare(false);
    // A copy of the program alone in a folder: no board library beside it or in
    // the installed library folder.
    const QString alone = support.path() + "/alone/bin/zelvan";
    ASSERT_TRUE(QDir().mkpath(support.path() + "/alone/bin"));
    ASSERT_TRUE(QFile::copy(ZELVAN_EXECUTABLE, alone));
    ASSERT_TRUE(QFile::setPermissions(alone, QFile::permissions(ZELVAN_EXECUTABLE)));
    JourneyDriver lone(alone);
    launch({}, {}, &lone);

    QProcess* link = beside({"zelvan://board"});
    EXPECT_TRUE(lone.logged("board: its library could not be loaded: not installed", 60)) << lone.log().toStdString();
    link->waitForFinished(30'000);
    QRect box;
    ASSERT_TRUE(waitFor([&] { return !(box = windowOnScreen("Zelvan can’t open the board")).isEmpty(); }, 30))
        << lone.log().toStdString();
    QString said;
    waitFor(
        [&] {
            // The dialog's small type is read at three times its size.
            const QRect around = box.adjusted(-20, -40, 20, 20);
            const QImage shot = QGuiApplication::primaryScreen()
                                    ->grabWindow(0, around.x(), around.y(), around.width(), around.height())
                                    .toImage();
            said = OCR::text(shot.scaled(shot.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)).simplified();
            return said.contains("Reinstalling");
        },
        10);
    EXPECT_TRUE(said.contains("is not installed")) << said.toStdString();
    EXPECT_TRUE(said.contains("Reinstalling Zelvan puts it back")) << said.toStdString();
    EXPECT_TRUE(lone.running());
}

// Speech for the desktop's microphone feed, from espeak-ng.
QString spoken(const QString& folder, const QString& name, const QString& text,
               const QString& voice = QStringLiteral("en-us+klatt2"), const QString& speed = QStringLiteral("140"))
{
    const QString raw = folder + "/" + name + "-raw.wav";
    const QString out = folder + "/" + name + ".wav";
    if (!run("espeak-ng", {"-v", voice, "-s", speed, "-w", raw, text})
        || !run("sox", {raw, "-r", "48000", "-c", "1", "-b", "16", out, "pad", "0.3", "0.6"}))
        return {};
    return out;
}

// The speech models are loaded only while they are used: the command models at
// the first press of the voice key, which still hears that first command, and
// for a few idle minutes after (here seconds); the dictation models while a
// recording hears its microphone. FFmpeg's libraries likewise go once the
// recording's tracks are written.
TEST_F(Journey, SpeechModelsAreLoadedOnlyWhileTheyAreUsed)
{
    prepare(false);
    const QString command = spoken(support.path(), "command", "note that the demo went well");
    const QString talk = spoken(support.path(), "talk",
                                "The design team wants a new landing page for the product launch. We should ship "
                                "the leaderboard filter before the Friday release.");
    ASSERT_FALSE(command.isEmpty() || talk.isEmpty());
    JourneyDriver::Launch l{.suite = suite, .keyringService = keyring.name()};
    l.env["ZELVAN_COMMAND_MODELS_SECONDS"] = "5";
    ASSERT_TRUE(app.launch(l)) << err();
    JourneyDriver::spend(3);
    EXPECT_FALSE(app.log().contains("models loaded")) << err();

    ASSERT_TRUE(run("xdotool", {"keydown", "ctrl+alt+space"}));
    JourneyDriver::spend(0.3);
    const bool played = play(command, "micfeed").ok;
    ASSERT_TRUE(run("xdotool", {"keyup", "ctrl+alt+space"}));
    ASSERT_TRUE(played);
    const std::optional<QString> heard = app.waitLine("voice: “", 120);
    ASSERT_TRUE(heard) << err();
    EXPECT_TRUE(heard->contains("-> note(")) << heard->toStdString();
    EXPECT_TRUE(app.log().contains("speech: command models loaded")) << err();
    EXPECT_TRUE(app.logged("speech: command models freed", 120)) << err();

    const QString dir = kickIn();
    ASSERT_FALSE(dir.isEmpty());
    EXPECT_TRUE(app.logged("speech: dictation models loaded", 120)) << err();
    EXPECT_TRUE(play(talk, "micfeed").ok);
    EXPECT_FALSE(app.log().contains("speech: dictation models freed")) << "freed while hearing" << err();
    EXPECT_TRUE(libraryLoaded("libavcodec.so", app.pid())) << "the tracks are written with FFmpeg";
    ASSERT_TRUE(app.wrapUp());
    EXPECT_TRUE(app.logged("speech: dictation models freed", 120)) << err();
    // The sound libraries go too, once the tracks are written and mixed.
    EXPECT_TRUE(waitFor([&] { return !libraryLoaded("libavcodec.so", app.pid()); }, 60)) << err();
}

// Ordinary talk under the voice key, in a voice whose words the command models
// pull towards "to-do" and "card", makes no card: it is heard as no command.
TEST_F(Journey, OrdinaryTalkUnderTheVoiceKeyMakesNoCard)
{
    prepare(false);
    const QStringList talk = {"to be honest I forgot", "carry on with the plan"};
    QStringList wavs;
    for (const QString& text : talk)
        wavs << spoken(support.path(), "talk" + QString::number(wavs.size()), text, "en-us+f2", "130");
    ASSERT_FALSE(wavs.contains(QString()));
    JourneyDriver::Launch l{.suite = suite, .keyringService = keyring.name()};
    ASSERT_TRUE(app.launch(l)) << err();
    for (qsizetype i = 0; i < wavs.size(); ++i) {
        ASSERT_TRUE(run("xdotool", {"keydown", "ctrl+alt+space"}));
        JourneyDriver::spend(0.3);
        const bool played = play(wavs[i], "micfeed").ok;
        ASSERT_TRUE(run("xdotool", {"keyup", "ctrl+alt+space"}));
        ASSERT_TRUE(played);
        ASSERT_TRUE(waitFor([&] { return app.log().count("voice: “") > i || !app.running(); }, 120)) << err();
    }
    const QStringList heard = QString::fromUtf8(app.log()).split('\n').filter("voice: “");
    ASSERT_EQ(heard.size(), talk.size()) << err();
    for (const QString& line : heard)
        EXPECT_TRUE(line.contains("-> unknown(")) << line.toStdString();
}

// Killed mid-recording, the real application comes back, closes the session and,
// asked to retry, sends both sides of it once: the speaker's 440 Hz and the
// microphone's 1000 Hz.
TEST_F(Journey, ARecordingKilledMidwayReachesThePlatformWithBothSidesOnce)
{
    prepare(false);
    launch();
    const QString other = makeTone(support.path(), 14, 440);
    const QString own = makeTone(support.path(), 14, 1000);
    const QString dir = kickIn();
    ASSERT_FALSE(dir.isEmpty());
    QProcess speaker, voice;
    speaker.start("paplay", {"--device=spk", other});
    voice.start("paplay", {"--device=micfeed", own});
    JourneyDriver::spend(8);
    app.crash();
    speaker.waitForFinished(30'000);
    voice.waitForFinished(30'000);
    ASSERT_TRUE(QFileInfo(dir + "/mic.m4a").size() > 0 && QFileInfo(dir + "/system.m4a").size() > 0);
    ASSERT_FALSE(QFileInfo::exists(dir + "/mixed.m4a"));

    JourneyDriver again(ZELVAN_EXECUTABLE);
    launch({}, {}, &again, {"--retry-pending"});
    EXPECT_TRUE(again.logged("recovered interrupted recording " + QFileInfo(dir).fileName().toUtf8()))
        << again.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return calls().size() == 1 && calls()[0].processed; }, 180))
        << "nothing uploaded\n" << again.log().toStdString();
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(dir); }, 30)) << "the session folder stayed";
    const std::vector<WorkspaceServer::Call> sent = calls();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_GT(toneShare(sent[0].audio, 440), 0.05) << "the other side";
    EXPECT_GT(toneShare(sent[0].audio, 1000), 0.05) << "the user's own voice";
    again.stop();
}

// The recordings on a small file system that fills up mid-recording: the user is
// told what happened and where the recording is, and once there is room again
// the session goes up with what was written before.
TEST_F(Journey, AFullDiskStopsTheRecordingAndTellsTheUser)
{
    prepare(false);
    const QString recordings = Paths::recordings();
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4m,mode=0700", "tmpfs", recordings}) != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", recordings}); });
    launch();
    const QString tone = makeTone(support.path(), 14, 440);
    const QString dir = kickIn();
    ASSERT_FALSE(dir.isEmpty());
    QProcess speaker;
    speaker.start("paplay", {"--device=spk", tone});
    JourneyDriver::spend(4);
    {
        QFile filler(recordings + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray chunk(64 * 1024, 'f');
        while (filler.write(chunk) == chunk.size() && filler.flush()) {
        }
    }
    EXPECT_TRUE(app.logged("recording failed: cannot write ", 60)) << err();
    const QRect corner = QGuiApplication::primaryScreen()->geometry();
    QString seen;
    EXPECT_TRUE(waitFor(
        [&] {
            const QImage shot =
                QGuiApplication::primaryScreen()->grabWindow(0, corner.width() - 520, 0, 520, 320).toImage();
            seen = OCR::text(shot);
            return seen.contains("Recording stopped") && seen.contains("No space left");
        },
        60))
        << seen.toStdString() << "\n"
        << err();
    // The user makes room; an upload that failed meanwhile goes on the next retry.
    ASSERT_TRUE(QFile::remove(recordings + "/filler"));
    speaker.waitForFinished(30'000);
    if (!waitFor([&] { return calls().size() == 1 && calls()[0].processed; }, 60)) {
        app.stop();
        JourneyDriver again(ZELVAN_EXECUTABLE);
        launch({}, {}, &again, {"--retry-pending"});
        ASSERT_TRUE(waitFor([&] { return calls().size() == 1 && calls()[0].processed; }, 180))
            << "nothing uploaded\n" << err() << again.log().toStdString();
        again.stop();
    }
    const WorkspaceServer::Call call = calls()[0];
    EXPECT_GT(call.audioSeconds, 2.0) << "what was recorded before the disk filled";
    EXPECT_GT(toneShare(call.audio, 440), 0.05);
}
