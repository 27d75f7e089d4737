// One recording from start to upload through the controller: fakes for the
// desktop and a fake scheduler, real session folders, and uploads over real HTTP
// to the fake platform.
#include "AppFixture.h"

#include "core/Fmt.h"
#include "core/Keychain.h"
#include "core/Strings.h"
#include "core/WebPlatform.h"
#include "session/FakeCapture.h"
#include "support/FakePlatform.h"
#include "support/WorkspaceServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QSettings>
#include "menu/MenuModel.h"
#include <gtest/gtest.h>

namespace {

QString str(const AppController::UploadState& u)
{
    using UploadState = AppController::UploadState;
    switch (u.kind) {
    case UploadState::Kind::idle:
        return "idle";
    case UploadState::Kind::busy:
        return "busy " + u.text;
    case UploadState::Kind::saved:
        return "saved " + u.text + (u.url ? " @ " + u.url->toString() : QString());
    case UploadState::Kind::failed:
        return "failed " + u.text + ": " + u.reason;
    }
    return {};
}

// Notes the upload line each time the menu is rebuilt.
class UploadLines final : public Ports::Menu {
public:
    UploadLines()
    {
        QObject::connect(&model_, &MenuModel::stateChanged, [this] {
            if (!controller)
                return;
            const QString line = str(controller->upload);
            if (lines.isEmpty() || lines.last() != line)
                lines << line;
        });
    }
    MenuModel& model() override { return model_; }
    AppController* controller = nullptr;
    QStringList lines;

private:
    QTemporaryDir dir_;
    QSettings store_{dir_.filePath("menu.conf"), QSettings::IniFormat};
    MenuModel model_{store_};
};

class FakeHearing final : public Ports::LiveHearing {
public:
    bool start() override { return running = true; }
    void stop() override { running = false; }
    bool running = false;
};

class Road : public AppFixture {
protected:
    FakeNudges nudges;
    FakeHotKeys hotKeys;
    UploadLines menu;
    FakeNotify notify;
    FakeDevices devices;
    FakeCapture capture;
    FakeDetector* detector = nullptr;
    FakeHud* hud = nullptr;
    FakeHearing* hearing = nullptr;
    // How far a running stop has come, as the recorder would count it.
    quint64 stopMoves = 0;

    // The platform: two projects and Personal, one call store across their roots.
    FakePlatform platform;
    std::unique_ptr<WorkspaceServer> alphaRoot, betaRoot, personalRoot;
    std::optional<Workspace> alpha, beta;

    std::shared_ptr<AppController> make()
    {
        AppPorts p = ports();
        p.detector = noting(detector);
        p.hud = noting(hud);
        p.hearing = noting(hearing);
        p.nudges = &nudges;
        p.hotKeys = &hotKeys;
        p.menu = &menu;
        p.notify = &notify;
        p.devices = &devices;
        p.capture = &capture;
        p.stopProgress = [this](const Recorder&) { return stopMoves; };
        auto c = AppController::create(*accounts, std::move(p), {"zelvan"});
        menu.controller = c.get();
        return c;
    }

    // Signed in on the fake platform with the projects Alpha and Beta.
    void online(bool withProjects = true)
    {
        platform.start();
        settings->setPlatformBase(platform.base());
        personalRoot = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key",
                                                         "/api/v1/personal");
        alphaRoot = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key",
                                                      "/api/v1/p/alpha");
        betaRoot = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key", "/api/v1/p/beta");
        alphaRoot->setProject("alpha");
        betaRoot->setProject("beta");
        alphaRoot->shareCallsWith(*personalRoot);
        betaRoot->shareCallsWith(*personalRoot);
        ASSERT_TRUE(accounts->signIn("zv_key", "ada@example.com", "Ada"));
        if (withProjects) {
            alpha = WebPlatform::project(platform.base(), "alpha", "Alpha", "owner");
            beta = WebPlatform::project(platform.base(), "beta", "Beta", "member");
            accounts->apply({"ada@example.com", "Ada", std::nullopt}, {*alpha, *beta});
        }
    }
    void scores(double a, QStringList aWhy, double b, QStringList bWhy)
    {
        alphaRoot->setRouteScore({{"score", a}, {"reasons", QJsonArray::fromStringList(aWhy)}});
        betaRoot->setRouteScore({{"score", b}, {"reasons", QJsonArray::fromStringList(bWhy)}});
    }

    // A started recording: the checks and the capture start run on the worker.
    void record(AppController& c, const std::optional<Ports::CallHit>& hit = std::nullopt)
    {
        c.startRecording(hit);
        ASSERT_TRUE(c.starting);
        worker.finishAll();
        ASSERT_TRUE(c.recorder);
    }
    // Recorded and stopped; the session goes to filing.
    std::shared_ptr<Session> recorded(AppController& c, const std::optional<Ports::CallHit>& hit = std::nullopt)
    {
        record(c, hit);
        const QString dir = sessionDirs().value(0);
        c.stopRecording();
        worker.finishAll();
        return Session::load(dir);
    }
    // A finished session on disk, as a stop leaves it.
    std::shared_ptr<Session> finished(const QString& title, bool call = false, int minute = 0)
    {
        auto s = Session::create(title, call ? "Zoom" : "Screen", std::nullopt, clock.now().addSecs(60 * minute));
        s->meta().fromCall = call;
        s->meta().ended = s->meta().started.addSecs(30);
        s->save();
        return s;
    }

    QStringList sessionDirs() const
    {
        QStringList out;
        for (const QString& name : QDir(support.file("recordings")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            out << support.file("recordings") + "/" + name;
        return out;
    }
    const Ports::Nudges::Card* lastNudge(const QString& kind) const
    {
        for (auto it = nudges.shown.rbegin(); it != nudges.shown.rend(); ++it)
            if (it->kind == kind)
                return &*it;
        return nullptr;
    }
    int count(const QString& kind) const
    {
        return int(
            std::count_if(nudges.shown.begin(), nudges.shown.end(), [&](const auto& n) { return n.kind == kind; }));
    }
    static QStringList titles(const Ports::Nudges::Card& card)
    {
        QStringList out;
        for (const auto& b : card.buttons)
            out << (b.primary ? "*" : "") + b.title;
        return out;
    }
    void press(const Ports::Nudges::Card& card, const QString& title)
    {
        for (const auto& b : card.buttons)
            if (b.title == title || "*" + b.title == title) {
                b.action();
                return;
            }
        ADD_FAILURE() << "no button " << title.toStdString();
    }
    std::vector<WorkspaceServer::Call> calls() const
    {
        std::vector<WorkspaceServer::Call> out;
        for (const auto& [id, call] : personalRoot->calls())
            out.push_back(call);
        return out;
    }
};

} // namespace

TEST_F(Road, StartAsksForTheScreenAndTheMicrophoneFirst)
{
    const struct {
        bool preflight, works, mic;
        int answer;
        QStringList asked;
        bool records;
        int soundSettings;
    } cases[] = {
        {false, false, true, 0, {"Zelvan needs Screen Recording"}, false, 0},
        {false, true, true, -1, {}, true, 0},
        {true, true, false, 0, {"Microphone access is off"}, true, 0},
        {true, true, false, 1, {"Microphone access is off"}, false, 1},
        {true, true, false, 2, {"Microphone access is off"}, false, 0},
    };
    for (const auto& k : cases) {
        const std::string what = QString("preflight %1 works %2 mic %3 answer %4")
                                     .arg(k.preflight)
                                     .arg(k.works)
                                     .arg(k.mic)
                                     .arg(k.answer)
                                     .toStdString();
        capture.preflight = k.preflight;
        capture.works = k.works;
        capture.mic = k.mic;
        application.answer = k.answer;
        application.asked.clear();
        application.soundSettings = 0;
        devices.mic = nullptr;
        auto c = make();
        c->launch();
        c->startRecording();
        worker.finishAll();
        EXPECT_EQ(application.asked, k.asked) << what;
        EXPECT_EQ(bool(c->recorder), k.records) << what;
        EXPECT_EQ(application.soundSettings, k.soundSettings) << what;
        EXPECT_FALSE(c->starting) << what;
        if (k.records) {
            // Without a microphone it records the screen and the other side only.
            EXPECT_EQ(devices.mic != nullptr, k.mic) << what;
            c->stopRecording();
            worker.finishAll();
        } else {
            EXPECT_TRUE(sessionDirs().isEmpty()) << what;
        }
        for (const QString& dir : sessionDirs())
            QDir(dir).removeRecursively();
        c.reset();
        scheduler.timers.clear();
    }
}

TEST_F(Road, LiveHearingRunsOnlyWithTheMicrophoneAndTheSetting)
{
    const struct {
        bool setting, mic, hears;
    } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
    for (const auto& k : cases) {
        settings->setLiveHearing(k.setting);
        capture.mic = k.mic;
        application.answer = 0; // "Kick in without mic"
        auto c = make();
        c->launch();
        record(*c);
        EXPECT_TRUE(hud->shown);
        EXPECT_EQ(hud->mic, k.mic);
        EXPECT_EQ(hearing->running, k.hears);
        EXPECT_EQ(hud->hearing, k.hears);
        if (k.hears) {
            hearing->onPhrase("budget review");
            EXPECT_EQ(hud->feed.last(), "Heard: budget review");
        }
        c->stopRecording();
        EXPECT_FALSE(hearing->running);
        EXPECT_FALSE(hud->shown);
        worker.finishAll();
        c.reset();
        scheduler.timers.clear();
    }
}

TEST_F(Road, AFailedStartRemovesItsFolderAndSaysWhy)
{
    const struct {
        bool noDisplay;
        bool preflightAfter;
        QString alert;
    } cases[] = {
        {false, true, "Could not kick in"},
        {true, false, "Zelvan could not record the screen"},
    };
    for (const auto& k : cases) {
        devices.systemFails = !k.noDisplay;
        if (k.noDisplay)
            devices.list.clear();
        auto c = make();
        c->launch();
        c->startRecording();
        // The preflight passed; the display went away while the capture started.
        capture.preflight = k.preflightAfter;
        worker.finishAll();
        EXPECT_FALSE(c->recorder);
        EXPECT_FALSE(c->starting);
        EXPECT_EQ(application.asked.value(0), k.alert);
        EXPECT_TRUE(sessionDirs().isEmpty()) << k.alert.toStdString();
        application.asked.clear();
        capture.preflight = true;
        c.reset();
        scheduler.timers.clear();
    }
}

TEST_F(Road, AManualStartIsAWorkSessionAndACallStartSaysItIsRecording)
{
    auto c = make();
    c->launch();
    const QDateTime at = clock.now();
    record(*c);
    auto manual = Session::load(sessionDirs().value(0));
    EXPECT_EQ(manual->meta().title, "Work session · " + Fmt::human(at));
    EXPECT_EQ(manual->meta().app, "Screen");
    EXPECT_FALSE(manual->meta().fromCall);
    EXPECT_EQ(count("recording"), 0);
    c->stopRecording();
    worker.finishAll();
    for (const QString& dir : sessionDirs())
        QDir(dir).removeRecursively();

    clock.advance(120);
    record(*c, Ports::CallHit{"Zoom", "Standup"});
    auto call = Session::load(sessionDirs().value(0));
    EXPECT_EQ(call->meta().title, "Zoom call");
    EXPECT_EQ(call->meta().app, "Zoom");
    EXPECT_TRUE(call->meta().fromCall);
    EXPECT_TRUE(c->recordingFromCall);
    const auto* nudge = lastNudge("recording");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->priority, 2);
    EXPECT_EQ(nudge->icon, "●");
    EXPECT_EQ(nudge->title, "Zelvan active on your Zoom call");
    EXPECT_EQ(nudge->message,
              "Recording screen & audio: mic = you, system audio = the other side. Ctrl+Alt+P adds "
              "a pin.");
    EXPECT_EQ(nudge->timeout, 12);
    EXPECT_EQ(titles(*nudge), (QStringList{"Wrap up", "*OK"}));
    press(*nudge, "Wrap up");
    EXPECT_TRUE(c->saving);
    EXPECT_FALSE(c->recordingFromCall);
    EXPECT_TRUE(nudges.dismissed.contains("recording"));
    worker.finishAll();
}

TEST_F(Road, TheTickSamplesTheFrontAppEveryOtherSecondAndLooksForACallEveryFifteenth)
{
    capture.front = Ports::Capture::FrontApp{"Editor", QString("editor"), QString("notes.txt")};
    auto c = make();
    c->launch();
    record(*c);
    EXPECT_EQ(capture.frontAsked, 1);
    capture.others = true;
    detector->call = Ports::CallHit{"Zoom", std::nullopt};
    for (int tick = 1; tick <= 14; ++tick) {
        scheduler.advance(1);
        worker.finishAll();
    }
    EXPECT_EQ(capture.frontAsked, 8);
    EXPECT_EQ(detector->identified, 0);
    scheduler.advance(1);
    worker.finishAll();
    EXPECT_EQ(detector->identified, 1);
    ASSERT_TRUE(waitFor([&] { return c->recorder->isCall(); }));
    // Once a call, it looks no more.
    scheduler.advance(15);
    worker.finishAll();
    EXPECT_EQ(detector->identified, 1);

    c->requestQuit();
    worker.finishAll();
    auto s = Session::pending().at(0);
    EXPECT_EQ(s->meta().callApp, "Zoom");
    ASSERT_TRUE(s->meta().apps && !s->meta().apps->empty());
    EXPECT_EQ(s->meta().apps->front().app, "Editor");
    EXPECT_EQ(s->meta().apps->front().title, "notes.txt");
}

TEST_F(Road, AStopFilesTheSessionButAQuitOnlySavesIt)
{
    auto c = make();
    c->launch();
    auto s = recorded(*c);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->meta().ended);
    EXPECT_EQ(detector->suppressed, 1);
    // Signed out with nothing connected: the sign-in nudge, the session stays.
    const auto* nudge = lastNudge("upload");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->title, "Sign in to send it");
    EXPECT_EQ(nudge->message,
              "“" + s->meta().title
                  + "” is saved on this computer, not sent yet. It uploads as soon as you are signed in.");
    EXPECT_EQ(titles(*nudge), (QStringList{"Later", "*Sign in"}));
    EXPECT_FALSE(nudge->timeout);
    EXPECT_EQ(str(c->upload), "failed " + s->meta().title + ": not signed in — Sign in to Zelvan to send it");
    QDir(s->dir()).removeRecursively();

    nudges.shown.clear();
    record(*c);
    c->requestQuit();
    worker.finishAll();
    EXPECT_EQ(application.terminated, 1);
    EXPECT_EQ(count("upload"), 0);
    EXPECT_EQ(Session::pending().size(), 1u);
}

TEST_F(Road, AStreamStoppedByTheSystemIsToldAndWhatWasRecordedIsFiled)
{
    auto c = make();
    c->launch();
    record(*c);
    auto stream = c->recorder->onStreamError;
    stream("The display went away.");
    const auto* nudge = lastNudge("streamError");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->priority, 3);
    EXPECT_EQ(nudge->title, "Session stopped by the system");
    EXPECT_EQ(nudge->message, "The display went away.\nWhat was recorded so far is being saved.");
    EXPECT_EQ(nudge->timeout, 15);
    EXPECT_TRUE(nudge->buttons.empty());
    EXPECT_TRUE(c->saving);
    // Once nothing records, a late report says nothing.
    stream("again");
    EXPECT_EQ(count("streamError"), 1);
    worker.finishAll();
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(count("upload"), 1);
}

// A track that cannot be written ends the recording: the user is told what and
// where, and what was written is filed as usual.
TEST_F(Road, AWriteFailureStopsTheRecordingAndSaysWhere)
{
    auto c = make();
    c->launch();
    record(*c);
    const QString dir = sessionDirs().value(0);
    c->recorder->onWriteError("cannot write mic.m4a: No space left on device");
    const auto* nudge = lastNudge("writeError");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->title, "Recording stopped: cannot write mic.m4a: No space left on device");
    EXPECT_EQ(nudge->message, "What was recorded until now is kept in " + dir + " and goes up as usual.");
    EXPECT_FALSE(nudge->timeout) << "it stays until read";
    EXPECT_TRUE(c->saving);
    EXPECT_FALSE(c->recorder);
    worker.finishAll();
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(count("upload"), 1);
}

TEST_F(Road, AStopThatHangsIsGivenUpAfterAMinuteAsInterrupted)
{
    auto c = make();
    c->launch();
    record(*c);
    const QString dir = sessionDirs().value(0);
    c->stopRecording();
    ASSERT_EQ(worker.jobs.size(), 1u); // the stop, which never returns here
    scheduler.advance(59);
    EXPECT_TRUE(c->saving);
    scheduler.advance(1);
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(count("stopHung"), 1);
    // Closing the session reads its tracks: a job of its own beside the hung stop.
    ASSERT_EQ(worker.jobs.size(), 2u);
    auto close = std::move(worker.jobs.back());
    worker.jobs.pop_back();
    close.first();
    close.second();
    auto s = Session::load(dir);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->meta().ended);
    EXPECT_EQ(s->meta().lastError, "the session was interrupted");

    // A new recording can start; the old stop's late answer files nothing.
    c->startRecording();
    EXPECT_TRUE(c->starting);
    worker.finishAll();
    EXPECT_TRUE(c->recorder);
    EXPECT_EQ(count("upload"), 0);
    EXPECT_EQ(count("stopHung"), 1);
    scheduler.advance(120);
    EXPECT_EQ(count("stopHung"), 1);
}

TEST_F(Road, AStopThatMixesLongerThanTheWatchdogButMovesOnIsSavedAndAskedAbout)
{
    online();
    auto c = make();
    c->launch();
    record(*c);
    c->stopRecording();
    // A long call's mix: five minutes, moving on all along.
    for (int minute = 0; minute < 5; ++minute) {
        scheduler.advance(AppController::stopWatchdogSeconds - 1);
        ++stopMoves;
        scheduler.advance(1);
    }
    EXPECT_TRUE(c->saving);
    EXPECT_EQ(count("stopHung"), 0);
    worker.finishAll();
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(count("route"), 1);
    EXPECT_EQ(count("stopHung"), 0);
    scheduler.advance(AppController::stopWatchdogSeconds * 2);
    EXPECT_EQ(count("stopHung"), 0);
}

TEST_F(Road, AStartCheckThatThrowsLeavesTheAppAbleToStartAgain)
{
    auto c = make();
    c->launch();
    capture.throws = true;
    c->startRecording();
    worker.finishAll();
    EXPECT_FALSE(c->starting);
    EXPECT_FALSE(c->recorder);
    EXPECT_TRUE(sessionDirs().isEmpty());
    EXPECT_TRUE(logLines().contains("start failed: the display server went away"));
    EXPECT_EQ(application.asked, QStringList{"Could not kick in"});

    capture.throws = false;
    record(*c);
    // A quit is no longer put off by a start that never ends.
    c->stopRecording();
    worker.finishAll();
    c->requestQuit();
    EXPECT_EQ(application.terminated, 1);
}

TEST_F(Road, AStreamErrorWhileTheStartReturnsStopsTheRecordingOnceItRuns)
{
    auto c = make();
    c->launch();
    worker.finishAll(); // the launch's scan of earlier recordings
    c->startRecording();
    worker.finishOne(); // the access checks
    ASSERT_EQ(worker.jobs.size(), 1u);
    auto start = std::move(worker.jobs.front());
    worker.jobs.clear();
    start.first();
    // The stream fails and says so on the main thread before the start's answer is in.
    devices.stream->handlers.error("The display went away.");
    QCoreApplication::processEvents();
    EXPECT_EQ(count("streamError"), 0);
    start.second();
    ASSERT_EQ(count("streamError"), 1);
    EXPECT_EQ(lastNudge("streamError")->message, "The display went away.\nWhat was recorded so far is being saved.");
    EXPECT_FALSE(c->recorder);
    EXPECT_TRUE(c->saving);
    worker.finishAll();
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(count("upload"), 1);
}

TEST_F(Road, AQuitDuringTheAccessChecksEndsWithoutASession)
{
    auto c = make();
    c->launch();
    c->startRecording();
    c->requestQuit();
    worker.finishAll();
    EXPECT_EQ(application.terminated, 1);
    EXPECT_TRUE(sessionDirs().isEmpty());
}

TEST_F(Road, AHungStopDuringAQuitStillEndsTheProcess)
{
    auto c = make();
    c->launch();
    record(*c);
    c->requestQuit();
    scheduler.advance(60);
    EXPECT_EQ(application.terminated, 1);
    EXPECT_EQ(count("stopHung"), 0);
    worker.finishAll();
}

TEST_F(Road, SignedInWithoutProjectsGoesToPersonalAtOnce)
{
    online(false);
    auto c = make();
    c->launch();
    auto s = finished("Planning");
    c->finish(s);
    EXPECT_EQ(count("route"), 0);
    // Decided and saved before the upload starts.
    auto onDisk = Session::load(s->dir());
    EXPECT_EQ(onDisk->meta().personal, true);
    EXPECT_EQ(onDisk->meta().routeDone, true);
    EXPECT_EQ(onDisk->meta().routed, (Routed{0, {"no project yet"}, false}));
    EXPECT_FALSE(onDisk->meta().workspaceID);
    worker.finishAll();
    EXPECT_FALSE(QDir(s->dir()).exists());
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].project, "personal");
    ASSERT_TRUE(settings->lastFiled());
    EXPECT_EQ(settings->lastFiled()->dest, "personal");
    EXPECT_EQ(settings->lastFiled()->title, "Planning");
    EXPECT_TRUE(menu.lines.last().startsWith("saved Planning · Personal @ "));
    ASSERT_EQ(notify.posted.size(), 1);
    EXPECT_TRUE(notify.posted[0].contains(" | Planning | Personal | ")) << notify.posted[0].toStdString();
}

TEST_F(Road, TheQuestionOffersTheSuggestionFirstAndOneAnswerFilesOnce)
{
    online();
    scores(0.7, {"with Ada"}, 0.3, {"mentions beta"});
    auto c = make();
    c->launch();
    const QString title = QString(50, u'x'); // whole in the nudge
    auto s = finished(title);
    c->finish(s);
    EXPECT_EQ(str(c->upload), "busy Where does it go?…");
    EXPECT_TRUE(c->routing.contains(s->dir()));
    worker.finishAll();
    EXPECT_FALSE(c->routing.contains(s->dir()));
    const auto* nudge = lastNudge("route");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->title, "Where does this go?");
    EXPECT_EQ(nudge->priority, 3);
    EXPECT_TRUE(nudge->stacked);
    EXPECT_EQ(nudge->timeout, 120);
    // Not a call: Personal is the suggestion, so it leads.
    EXPECT_EQ(titles(*nudge), (QStringList{"*Personal (private)", "Alpha · 70%", "Beta · 30%"}));
    EXPECT_EQ(nudge->message,
              "“" + title
                  + "”\nSuggested: Personal · a work session — only you see it\nNo choice in 2 min → "
                    "Personal.");
    EXPECT_EQ(str(c->upload), "idle");

    press(*nudge, "Alpha · 70%");
    auto onDisk = Session::load(s->dir());
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(onDisk->meta().workspaceID, alpha->id);
    EXPECT_FALSE(onDisk->meta().personal);
    EXPECT_EQ(onDisk->meta().routed, (Routed{0.7, {"with Ada"}, false}));
    EXPECT_EQ(onDisk->meta().routeDone, true);
    EXPECT_TRUE(nudges.dismissed.contains("route"));
    EXPECT_FALSE(c->routeScores.contains(s->dir()));

    // A second click and the time-out racing the first answer change nothing.
    press(*nudge, "*Personal (private)");
    scheduler.advance(120);
    worker.finishAll();
    scheduler.advance(120);
    worker.finishAll();
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].project, "alpha");
    EXPECT_EQ(calls()[0].payload["title"].toString(), title);
    EXPECT_TRUE(notify.posted.filter("filedPersonal").isEmpty());
    ASSERT_TRUE(settings->lastFiled());
    EXPECT_EQ(settings->lastFiled()->dest, "alpha");
    const QString id = settings->lastFiled()->id;
    EXPECT_EQ(str(c->upload), "saved " + title + " @ " + alpha->base() + "/#/library/call/" + urlComponent(id));
    EXPECT_FALSE(QDir(s->dir()).exists());
}

TEST_F(Road, AnsweringOneQuestionBringsBackTheOneItReplaced)
{
    online();
    scores(0.7, {"with Ada"}, 0.3, {"mentions beta"});
    auto c = make();
    c->launch();
    auto first = finished("First");
    auto second = finished("Second", false, 1);
    c->finish(first);
    worker.finishAll();
    c->finish(second);
    worker.finishAll();
    ASSERT_EQ(count("route"), 2);
    EXPECT_TRUE(lastNudge("route")->message.value_or("").startsWith("“Second”"));

    press(*lastNudge("route"), "Alpha · 70%");
    ASSERT_EQ(count("route"), 3);
    EXPECT_TRUE(lastNudge("route")->message.value_or("").startsWith("“First”"));
    worker.finishAll();
}

TEST_F(Road, AClearTeamCallFilesItselfOnlyWithTheOptIn)
{
    online();
    scores(0.95, {"with Ada, Bo"}, 0.5, {"mentions beta"});
    for (const bool optIn : {true, false}) {
        settings->setAutoFileTeamCalls(optIn);
        nudges.shown.clear();
        auto c = make();
        c->launch();
        auto s = finished("Weekly sync", true);
        c->finish(s);
        worker.finishAll();
        if (optIn) {
            EXPECT_EQ(count("route"), 0);
            const auto* filed = lastNudge("filed");
            ASSERT_TRUE(filed);
            EXPECT_EQ(filed->title, "Filed in Alpha");
            EXPECT_EQ(filed->message, "“Weekly sync” · with Ada, Bo. Move it from the menu if that’s wrong.");
            EXPECT_EQ(filed->priority, 1);
            EXPECT_EQ(filed->timeout, 8);
            EXPECT_FALSE(QDir(s->dir()).exists());
            ASSERT_EQ(calls().size(), 1u);
            EXPECT_EQ(calls()[0].payload["routed"].toObject()["auto"].toBool(), true);
        } else {
            EXPECT_EQ(count("filed"), 0);
            const auto* route = lastNudge("route");
            ASSERT_TRUE(route);
            EXPECT_EQ(titles(*route), (QStringList{"*Alpha · 95%", "Personal (private)", "Beta · 50%"}));
            EXPECT_TRUE(route->message->contains("\nSuggested: Alpha · with Ada, Bo\n"));
            EXPECT_EQ(Session::load(s->dir())->meta().routeDone, std::nullopt);
        }
    }
}

TEST_F(Road, NoAnswerInTimeGoesToPersonal)
{
    qputenv("ZELVAN_ASK_SECONDS", "5");
    online();
    scores(0.4, {"mentions alpha"}, 0.3, {});
    auto c = make();
    c->launch();
    const QString title = QString(51, u'y');
    auto s = finished(title);
    c->finish(s);
    worker.finishAll();
    const auto* nudge = lastNudge("route");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(nudge->timeout, 5);
    // The texts say two minutes whatever the wait.
    EXPECT_TRUE(nudge->message->startsWith("“" + QString(49, u'y') + "…”\n"));
    EXPECT_TRUE(nudge->message->endsWith("No choice in 2 min → Personal."));
    scheduler.advance(4.9);
    EXPECT_FALSE(Session::load(s->dir())->meta().routeDone);
    scheduler.advance(0.1);
    qunsetenv("ZELVAN_ASK_SECONDS");
    auto onDisk = Session::load(s->dir());
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(onDisk->meta().personal, true);
    EXPECT_EQ(onDisk->meta().routed, (Routed{0, {"no choice in 2 min"}, false}));
    EXPECT_EQ(notify.posted.value(0), "filedPersonal " + title + " | " + QDir(s->dir()).dirName());
    // A click that comes later files nothing more.
    press(*nudge, "Alpha · 40%");
    worker.finishAll();
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].project, "personal");
}

TEST_F(Road, AConnectedProjectWithoutAScoreCanStillBeChosen)
{
    online();
    scores(0.4, {"mentions alpha"}, 0.3, {});
    platform.fail("POST", "/api/v1/p/beta/route/score", {.status = 500, .body = "{\"error\":\"down\"}"});
    auto c = make();
    c->launch();
    auto s = finished("Review");
    c->finish(s);
    worker.finishAll();
    const auto* nudge = lastNudge("route");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(titles(*nudge), (QStringList{"*Personal (private)", "Alpha · 40%", "Beta"}));
    press(*nudge, "Beta");
    EXPECT_EQ(Session::load(s->dir())->meta().routed, (Routed{0, {"chosen by hand"}, false}));
    worker.finishAll();
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].project, "beta");
}

TEST_F(Road, SignedOutWithALegacyServerAsksWithoutPersonalOrTimeOut)
{
    FakePlatform legacy;
    WorkspaceServer server(legacy, WorkspaceServer::Mode::full, "wk");
    legacy.start();
    Workspace ws("Team server", legacy.base());
    settings->setWorkspaces({ws});
    accounts->setKey("wk", ws);
    auto c = make();
    c->launch();
    auto s = finished("Legacy talk");
    c->finish(s);
    const auto* nudge = lastNudge("route");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(titles(*nudge), QStringList{"Team server"});
    EXPECT_EQ(nudge->message, "“Legacy talk”");
    scheduler.advance(600);
    EXPECT_FALSE(Session::load(s->dir())->meta().routeDone);
    EXPECT_TRUE(c->routeScores.contains(s->dir()));
    press(*nudge, "Team server");
    worker.finishAll();
    EXPECT_EQ(server.calls().size(), 1u);
    // A legacy server has no slug: the last filing stays as it was.
    EXPECT_FALSE(settings->lastFiled());
    Keychain::remove(ws.id.toString(QUuid::WithoutBraces).toUpper());
}

TEST_F(Road, UploadSaysEachStepAndStartsOnceForOneFolder)
{
    online();
    auto c = make();
    c->launch();
    const QString title = QString(41, u'z');
    auto s = finished(title);
    s->meta().routeDone = true;
    s->meta().workspaceID = alpha->id;
    s->save();
    menu.lines.clear();
    // Decided already: straight to the upload, no scoring; a second call while it runs starts none.
    c->finish(s);
    c->uploadSession(s);
    // The name look-up, then the upload.
    worker.finishAll();
    ASSERT_EQ(calls().size(), 1u);
    for (const auto& r : platform.requests())
        EXPECT_EQ(r.path.find("/route/score"), std::string::npos);
    EXPECT_EQ(menu.lines.value(0), "busy " + QString(39, u'z') + "…");
    EXPECT_TRUE(menu.lines.last().startsWith("saved " + title + " @ "));
    // Progress that arrives after the end says nothing.
    scheduler.advance(0);
    EXPECT_TRUE(menu.lines.last().startsWith("saved "));
    EXPECT_EQ(settings->names().value(alpha->id.toString(QUuid::WithoutBraces).toUpper()), "Test Person");
}

TEST_F(Road, ProgressShowsWhileTheUploadRuns)
{
    online();
    auto c = make();
    c->launch();
    auto s = finished("Short");
    s->meta().routeDone = true;
    s->meta().personal = true;
    s->save();
    menu.lines.clear();
    // The launch's own requests may still wait; the upload is the newest job.
    const size_t before = worker.jobs.size();
    c->uploadSession(s);
    ASSERT_EQ(worker.jobs.size(), before + 1);
    auto job = std::move(worker.jobs.back());
    worker.jobs.pop_back();
    job.first();
    scheduler.advance(0);
    job.second();
    ASSERT_GE(menu.lines.size(), 3);
    EXPECT_EQ(menu.lines[0], "busy Short");
    EXPECT_TRUE(menu.lines[1].startsWith("busy ") && menu.lines[1] != "busy Short") << menu.lines[1].toStdString();
    EXPECT_TRUE(menu.lines.last().startsWith("saved Short · Personal"));
}

TEST_F(Road, AFailedUploadKeepsTheSessionAndAGoneProjectIsAskedAgain)
{
    online();
    auto c = make();
    c->launch();
    auto s = finished("Kept");
    s->meta().routeDone = true;
    s->meta().workspaceID = alpha->id;
    s->meta().routed = Routed{0.8, {"with Ada"}, false};
    s->save();
    platform.fail("POST", "/api/v1/p/alpha/calls", {.status = 500, .body = "{\"error\":\"disk full\"}"});
    c->uploadSession(s);
    worker.finishAll();
    EXPECT_EQ(str(c->upload), "failed Kept: disk full (HTTP 500)");
    auto kept = Session::load(s->dir());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->meta().lastError, "disk full (HTTP 500)");
    EXPECT_TRUE(c->uploading.isEmpty());

    // The project leaves the account: the session is asked about anew.
    accounts->apply({"ada@example.com", "Ada", std::nullopt}, {*beta});
    c->uploadSession(kept);
    auto again = Session::load(s->dir());
    EXPECT_FALSE(again->meta().routeDone);
    EXPECT_FALSE(again->meta().routed);
    worker.finishAll();
    const auto* nudge = lastNudge("route");
    ASSERT_TRUE(nudge);
    EXPECT_EQ(titles(*nudge).mid(1), QStringList{"Beta · 50%"});
}

TEST_F(Road, PersonalNotOpenYetParksTheSessionsAndRetriesTryTheFirstOnly)
{
    online(false);
    platform.route("POST", "/api/v1/personal/calls",
                   [](const httplib::Request&, httplib::Response& res) { FakePlatform::error(res, 404, "not found"); });
    auto c = make();
    c->launch();
    std::vector<std::shared_ptr<Session>> parked;
    for (int i = 0; i < 3; ++i) {
        parked.push_back(finished(QString("Note %1").arg(i), false, i));
        c->finish(parked.back());
        worker.finishAll();
    }
    EXPECT_EQ(str(c->upload), "idle");
    EXPECT_EQ(count("personalSoon"), 3);
    const auto* nudge = lastNudge("personalSoon");
    EXPECT_EQ(nudge->title, "Kept on this computer — Personal opens soon");
    EXPECT_EQ(nudge->message, "“Note 2” stays private here and goes up to Personal by itself once it opens.");
    for (const auto& p : parked) {
        auto s = Session::load(p->dir());
        EXPECT_EQ(s->meta().waitingPersonal, true);
        EXPECT_EQ(s->meta().lastError, "waiting — Personal opens soon");
    }

    // The launch pass ran before they were parked; the next unforced one waits half an hour.
    const auto posts = [&] {
        int n = 0;
        for (const auto& r : platform.requests())
            n += r.method == "POST" && r.path == "/api/v1/personal/calls";
        return n;
    };
    clock.advance(600);
    c->retryPersonal(false);
    worker.finishAll();
    EXPECT_EQ(posts(), 3);
    clock.advance(1201);
    c->retryPersonal(false);
    worker.finishAll();
    scheduler.advance(1);
    worker.finishAll();
    EXPECT_EQ(posts(), 4);
    EXPECT_EQ(count("personalSoon"), 3); // quiet
    // Forced: still closed, so only the first is tried, and it may say so.
    c->retryPersonal(true);
    worker.finishAll();
    scheduler.advance(1);
    worker.finishAll();
    EXPECT_EQ(posts(), 5);
    EXPECT_EQ(count("personalSoon"), 4);

    // Personal opens: one forced pass sends all three, oldest first.
    personalRoot = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key",
                                                     "/api/v1/personal");
    c->retryPersonal(true);
    for (int i = 0; i < 5; ++i) {
        worker.finishAll();
        scheduler.advance(0.3);
    }
    ASSERT_EQ(calls().size(), 3u);
    QStringList titles;
    for (const auto& call : calls())
        titles << call.payload["title"].toString();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"Note 0", "Note 1", "Note 2"}));
    EXPECT_TRUE(Session::pending().empty());
}

TEST_F(Road, RetryUploadsTakesOneSessionAtATimeAndStopsAtAFailure)
{
    online(false);
    auto c = make();
    c->launch();
    for (int i = 0; i < 3; ++i)
        finished(QString("Old %1").arg(i), false, i);
    platform.fail("POST", "/api/v1/personal/calls", {.status = 500, .body = "{\"error\":\"busy\"}"}, 1);
    c->retryUploads();
    // The first at once; it fails, so the pass ends there.
    worker.finishAll();
    for (int i = 0; i < 4; ++i) {
        scheduler.advance(0.5);
        worker.finishAll();
    }
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(Session::pending().size(), 3u);

    c->upload = {};
    c->retryUploads();
    for (int i = 0; i < 6; ++i) {
        worker.finishAll();
        scheduler.advance(0.5);
    }
    EXPECT_EQ(calls().size(), 3u);
    EXPECT_TRUE(Session::pending().empty());
}
