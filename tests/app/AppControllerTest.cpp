// The controller with fakes: construction, launch wiring, status item and quit.
#include "AppFixture.h"

#include "session/FakeCapture.h"
#include "session/SessionLock.h"

#include <QDir>

namespace {

class Controller : public AppFixture {
protected:
    FakeNudges nudges;
    FakeHotKeys hotKeys;
    FakeMenu menu;
    FakeDevices devices;
    FakeCapture capture;
    FakeDetector* detector = nullptr;
    QStringList made;

    std::shared_ptr<AppController> make(QStringList args = {"zelvan"})
    {
        AppPorts p = ports();
        // Each factory notes its turn, so the test sees the order of construction.
        auto note = [this](const char* name, auto factory) {
            return [this, name, factory] {
                made << name;
                return factory();
            };
        };
        p.popover = note("popover", p.popover);
        p.hud = note("hud", p.hud);
        p.hearing = note("hearing", p.hearing);
        p.windows = note("windows", p.windows);
        p.detector = note("detector", decltype(p.detector)(noting(detector)));
        p.voice = note("voice", p.voice);
        p.pill = note("pill", p.pill);
        p.nudges = &nudges;
        p.hotKeys = &hotKeys;
        p.menu = &menu;
        p.devices = &devices;
        p.capture = &capture;
        return AppController::create(*accounts, std::move(p), args);
    }

    // A started recording: the capture start was handed to the worker and finished.
    void record(AppController& c)
    {
        c.startRecording();
        ASSERT_TRUE(c.starting);
        worker.finishAll();
        ASSERT_TRUE(c.recorder);
    }

    QStringList sessions() const
    {
        return QDir(support.file("recordings")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST_F(Controller, MakesItsComponentsInOrderAndNothingElseUntilLaunch)
{
    auto c = make();
    EXPECT_EQ(made, (QStringList{"popover", "hud", "hearing", "windows", "detector", "voice", "pill"}));
    EXPECT_EQ(item.created, 0);
    EXPECT_TRUE(scheduler.timers.empty());
    EXPECT_TRUE(hotKeys.keys.empty());
    EXPECT_EQ(detector->started, 0);
}

TEST_F(Controller, LaunchWiresTrayKeysDetectorAndTimersAndRecoversOffTheMainThread)
{
    // A recording cut off by a crash: recovered on the worker, then the menu is built again.
    auto cut = Session::create("cut", "Screen");
    menu.rebuilds = 0;
    auto c = make();
    c->launch();
    EXPECT_FALSE(Session::load(cut->dir())->meta().ended);
    const int before = menu.rebuilds;
    worker.finishAll();
    EXPECT_GT(menu.rebuilds, before);

    EXPECT_EQ(item.created, 1);
    EXPECT_EQ(item.tip, "Zelvan");
    EXPECT_FALSE(item.recording);
    EXPECT_EQ(detector->started, 1);
    auto intervals = scheduler.intervals();
    std::sort(intervals.begin(), intervals.end());
    EXPECT_EQ(intervals, (std::vector<double>{15, 300}));
    ASSERT_EQ(hotKeys.keys.size(), 3u);
    EXPECT_EQ(hotKeys.keys[1].key, Qt::Key_R);
    EXPECT_EQ(hotKeys.keys[2].key, Qt::Key_P);
    EXPECT_EQ(hotKeys.keys[3].key, Qt::Key_Space);
    EXPECT_TRUE(hotKeys.keys[3].release);
    EXPECT_TRUE(c->voiceKeyOK);
    EXPECT_GE(menu.rebuilds, 1);
    EXPECT_TRUE(Session::load(cut->dir())->meta().ended);

    // The tray click toggles the popover, whose opening rebuilds the menu.
    const int built = menu.rebuilds;
    item.onClick();
    EXPECT_TRUE(c->popover->isOpen());
    EXPECT_GT(menu.rebuilds, built);
    item.onClick();
    EXPECT_FALSE(c->popover->isOpen());
}

TEST_F(Controller, AVoiceKeySomeoneElseOwnsIsRemembered)
{
    hotKeys.refuse = {3};
    auto c = make();
    c->launch();
    EXPECT_FALSE(c->voiceKeyOK);
}

TEST_F(Controller, DiagnosticRunsLeaveRecordingsTimersAndDetectorAlone)
{
    auto live = Session::create("someone else's", "Screen");
    for (const char* mode : {"--dump-menu", "--ui-check", "--board-check"}) {
        auto c = make({"zelvan", mode});
        c->launch();
        EXPECT_FALSE(Session::load(live->dir())->meta().ended) << mode;
        EXPECT_EQ(detector->started, 0) << mode;
        EXPECT_TRUE(scheduler.intervals().empty()) << mode;
        c.reset();
        scheduler.timers.clear();
    }
}

TEST_F(Controller, CallNudgesCarryTheirTextsAndButtons)
{
    auto c = make();
    c->launch();
    const QString seventy(70, u'x');
    const QString seventyOne(71, u'y');
    detector->onCallStart({"Zoom", seventy});
    detector->onCallStart({"Meet", seventyOne});
    detector->onCallStart({"Slack", std::nullopt});
    ASSERT_EQ(nudges.shown.size(), 3u);
    const auto& call = nudges.shown[0];
    EXPECT_EQ(call.kind, "call");
    EXPECT_EQ(call.priority, 3);
    EXPECT_EQ(call.icon, "●");
    EXPECT_EQ(call.title, "Call in Zoom — kick in?");
    const QString rest =
        "Records screen & audio: mic = you, system audio = the other side. You choose where it goes after.";
    EXPECT_EQ(call.message, "“" + seventy + "”\n" + rest);
    EXPECT_EQ(nudges.shown[1].message, "“" + QString(69, u'y') + "…”\n" + rest);
    EXPECT_EQ(nudges.shown[2].message, rest);
    EXPECT_EQ(call.timeout, 60);
    ASSERT_EQ(call.buttons.size(), 2u);
    EXPECT_EQ(call.buttons[0].title, "Not now");
    EXPECT_EQ(call.buttons[1].title, "Kick in");
    EXPECT_TRUE(call.buttons[1].primary);
    call.buttons[0].action();
    EXPECT_EQ(detector->suppressed, 1);

    // "Kick in" starts the recording of that call; while it starts no call is offered.
    call.buttons[1].action();
    EXPECT_TRUE(c->starting);
    detector->onCallStart({"Teams", std::nullopt});
    EXPECT_EQ(nudges.shown.size(), 3u);
    worker.finishAll();
    ASSERT_TRUE(c->recorder);
    EXPECT_TRUE(c->recordingFromCall);

    // The recording of a call says so.
    ASSERT_EQ(nudges.shown.size(), 4u);
    EXPECT_EQ(nudges.shown[3].kind, "recording");
    detector->onCallEnded();
    ASSERT_EQ(nudges.shown.size(), 5u);
    const auto& ended = nudges.shown[4];
    EXPECT_EQ(ended.kind, "callEnded");
    EXPECT_EQ(ended.icon, "■");
    EXPECT_EQ(ended.title, "Call ended — wrap up?");
    EXPECT_EQ(ended.message, "Nobody else has used the mic for 20 seconds.");
    EXPECT_FALSE(ended.timeout);
    ended.buttons[0].action();
    EXPECT_GE(detector->resets, 2);
    ended.buttons[1].action();
    EXPECT_TRUE(c->saving);
    worker.finishAll();
}

TEST_F(Controller, AutomaticCallRecordingStartsWithoutANudge)
{
    settings->setAutoRecordCalls(true);
    auto c = make();
    c->launch();
    detector->onCallStart({"Zoom", std::nullopt});
    EXPECT_TRUE(nudges.shown.empty());
    EXPECT_TRUE(c->starting);
    worker.finishAll();
}

TEST_F(Controller, RecordKeyIgnoredWhileStartingOrSaving)
{
    auto c = make();
    c->launch();
    worker.finishAll(); // the launch's scan of the recordings
    auto& key = hotKeys.keys[1].press;
    key();
    key(); // starting: nothing
    EXPECT_EQ(worker.jobs.size(), 1u);
    worker.finishAll();
    key(); // recording: stop
    EXPECT_TRUE(c->saving);
    key(); // saving: nothing
    EXPECT_EQ(worker.jobs.size(), 1u);
    worker.finishAll();
    EXPECT_FALSE(c->saving);
    EXPECT_EQ(Session::pending().size(), 1u);
}

TEST_F(Controller, StatusItemShowsTheClockAndBlinksOnlyWhileRecording)
{
    auto c = make();
    c->launch();
    c->startRecording();
    EXPECT_EQ(item.title, " …");
    EXPECT_EQ(item.tip, "Zelvan");
    worker.finishAll();
    EXPECT_EQ(item.title, " 0:00");
    EXPECT_EQ(item.tip, AppController::recordingToolTip);
    EXPECT_TRUE(item.recording);
    EXPECT_TRUE(item.dot);

    // Updating the title every second keeps one blink timer: the dot flips every 0.5 s.
    std::vector<bool> dots;
    for (int i = 0; i < 4; ++i) {
        c->updateStatusTitle();
        scheduler.advance(0.5);
        dots.push_back(item.dot);
    }
    EXPECT_EQ(dots, (std::vector<bool>{false, true, false, true}));
    const auto whileRecording = scheduler.intervals();
    EXPECT_EQ(std::count(whileRecording.begin(), whileRecording.end(), 0.5), 1);
    clock.advance(3725);
    c->updateStatusTitle();
    EXPECT_EQ(item.title, " 1:02:05");

    c->stopRecording();
    EXPECT_EQ(item.title, " …");
    EXPECT_EQ(item.tip, AppController::recordingToolTip);
    EXPECT_FALSE(item.recording);
    worker.finishAll();
    EXPECT_EQ(item.title, "");
    EXPECT_EQ(item.tip, "Zelvan");
    auto intervals = scheduler.intervals();
    EXPECT_EQ(std::count(intervals.begin(), intervals.end(), 0.5), 0);
    EXPECT_EQ(std::count(intervals.begin(), intervals.end(), 1.0), 0);
}

TEST_F(Controller, QuitWhileIdleEndsAtOnce)
{
    auto c = make();
    c->launch();
    c->requestQuit();
    EXPECT_EQ(application.terminated, 1);
}

TEST_F(Controller, QuitWhileRecordingSavesTheSessionFirst)
{
    auto c = make();
    c->launch();
    record(*c);
    EXPECT_TRUE(Session::pending().empty());
    c->requestQuit();
    EXPECT_EQ(application.terminated, 0);
    EXPECT_TRUE(c->saving);
    c->requestQuit(); // a second request while saving changes nothing
    EXPECT_EQ(worker.jobs.size(), 1u);
    worker.finishAll();
    EXPECT_EQ(application.terminated, 1);
    const auto pending = Session::pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_TRUE(pending[0]->meta().ended);
    EXPECT_FALSE(SessionLock::isLocked(pending[0]->dir()));
}

TEST_F(Controller, QuitWhileStartingWaitsForTheStartThenSaves)
{
    auto c = make();
    c->launch();
    worker.finishAll(); // the launch's scan of the recordings
    c->startRecording();
    worker.finishOne(); // the screen and microphone checks
    ASSERT_TRUE(c->starting);
    c->requestQuit();
    EXPECT_EQ(application.terminated, 0);
    // The start completes, the recording is stopped at once and saved.
    worker.finishAll();
    EXPECT_EQ(application.terminated, 1);
    EXPECT_EQ(Session::pending().size(), 1u);
}

TEST_F(Controller, QuitWhileAStartFailsEndsWithoutASession)
{
    devices.list.clear();
    auto c = make();
    c->launch();
    c->startRecording();
    // Past the checks: the capture start is under way, and fails.
    worker.finishOne();
    ASSERT_TRUE(c->starting);
    c->requestQuit();
    worker.finishAll();
    EXPECT_EQ(application.terminated, 1);
    EXPECT_TRUE(sessions().isEmpty());
    EXPECT_TRUE(application.asked.isEmpty());
}

TEST_F(Controller, DumpMenuWaitsForItsDelay)
{
    const struct {
        QStringList args;
        double delay;
    } cases[] = {
        {{"zelvan", "--dump-menu"}, 4},
        {{"zelvan", "--dump-menu", "--dump-menu-delay", "0.5"}, 0.5},
        {{"zelvan", "--dump-menu", "--dump-menu-delay"}, 4},
        {{"zelvan", "--dump-menu-delay", "soon", "--dump-menu"}, 4},
    };
    for (const auto& k : cases) {
        application.printed.clear();
        application.terminated = 0;
        scheduler.timers.clear();
        scheduler.now = 0;
        auto c = make(k.args);
        c->launch();
        scheduler.advance(k.delay - 0.01);
        EXPECT_TRUE(application.printed.isEmpty()) << k.args.join(' ').toStdString();
        scheduler.advance(0.01);
        EXPECT_EQ(application.printed, QStringList{menu.dump()}) << k.args.join(' ').toStdString();
        EXPECT_TRUE(menu.dump().contains("\n[Kick in Ctrl+Alt+R]\n"));
        EXPECT_EQ(application.terminated, 1);
    }
}

TEST_F(Controller, CallbacksDoNothingOnceTheControllerIsGone)
{
    auto c = make();
    c->launch();
    worker.finishAll(); // the launch's scan of the recordings
    auto press = hotKeys.keys[1].press;
    auto click = item.onClick;
    auto callStart = detector->onCallStart;
    auto isRecording = detector->isRecording;
    std::vector<std::function<void()>> timers;
    for (auto& [id, t] : scheduler.timers)
        timers.push_back(t.fn);
    // The detector belongs to the controller; keep the callbacks only.
    c.reset();
    press();
    click();
    callStart({"Zoom", std::nullopt});
    for (auto& t : timers)
        t();
    EXPECT_FALSE(isRecording());
    EXPECT_TRUE(worker.jobs.empty());
    EXPECT_TRUE(nudges.shown.empty());
}
