// The activity tick's reminders and work-day upload, and the end-of-day summary.
#include "FlowFixture.h"

#include "core/Fmt.h"
#include "ui/WrapModel.h"

#include <QJsonArray>
#include <QUrlQuery>

namespace {

class Workday : public Flow {
protected:
    void SetUp() override
    {
        Flow::SetUp();
        desktop = &capture;
        capture.front = Ports::Capture::FrontApp{"Figma", "com.figma.Desktop", "Venue"};
        legacyHome();
        server = std::make_unique<WorkspaceServer>(platform);
        settings->setBreakReminders(false);
        settings->setWorkoutOn(false);
        settings->setWrapOn(false);
    }
    // Local time today.
    void at(int hour, int minute) { clock.set(QDateTime(clock.now().toLocalTime().date(), QTime(hour, minute))); }
    // The wrap status answers, in order; the last one repeats.
    void answers(std::vector<std::string> statuses)
    {
        auto left = std::make_shared<std::vector<std::string>>(std::move(statuses));
        platform.route("GET", "/api/workday/wrap", [left](const httplib::Request&, httplib::Response& res) {
            const std::string s = left->front();
            if (left->size() > 1)
                left->erase(left->begin());
            if (s == "404")
                return FakePlatform::error(res, 404, "not here");
            FakePlatform::reply(res, 200,
                                s == "done" ? R"({"status":"done","summary":"A good day.","highlights":["Shipped"],)"
                                              R"("tomorrow":["Call Oxel"],"cards":[{"id":"c1","title":"Follow up"}]})"
                                            : R"({"status":")" + s + R"("})");
        });
    }
    // Runs the end-of-day polling until it stops (or the step limit).
    void runWrap()
    {
        for (int i = 0; i < 400 && windows->model && windows->model->running(); ++i) {
            worker.finishAll();
            advance(5, 5);
        }
        worker.finishAll();
    }
    // The days the platform was sent, in order.
    QStringList uploadedDays() const
    {
        QStringList days;
        for (const auto& r : requests("POST", "/api/workday"))
            days << jsonOf(r.body)["day"].toString();
        return days;
    }
    std::unique_ptr<WorkspaceServer> server;
    FakeCapture capture;
};

} // namespace

TEST_F(Workday, NoReminderWhileRecordingBusyWithANudgeOrAway)
{
    settings->setWorkoutOn(true);
    settings->setWorkoutMinute(9 * 60);
    settings->setTrackWorkday(true);
    AppController& c = make();
    at(9, 30);

    struct Case {
        const char* what;
        std::function<void()> set, reset;
        bool records; // nothing is recorded while the user is away
    };
    const std::vector<Case> cases{
        {"recording", [&] { record(); }, [&] { stop(); }, true},
        {"starting", [&] { c.starting = true; }, [&] { c.starting = false; }, true},
        {"a nudge on screen", [&] { nudges.on = "todo"; }, [&] { nudges.on.reset(); }, true},
        {"away", [&] { idle = 300; }, [&] { idle = 0; }, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        k.set();
        clock.advance(15);
        const double tracked = c.tracker->trackedSeconds();
        c.activityTick();
        EXPECT_FALSE(nudges.last("workout"));
        EXPECT_EQ(c.tracker->trackedSeconds() > tracked, k.records) << "the day is still sampled";
        k.reset();
    }
    c.activityTick();
    EXPECT_TRUE(nudges.last("workout"));
}

TEST_F(Workday, OneReminderPerTickAndOnlyTheOneShownIsMarked)
{
    settings->setWorkoutOn(true);
    settings->setWorkoutMinute(17 * 60);
    settings->setWrapOn(true);
    settings->setWrapMinute(17 * 60);
    AppController& c = make();
    at(17, 10);
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), QStringList{"workout"});
    const auto* workout = nudges.last("workout");
    EXPECT_EQ(workout->title, "Workout time");
    EXPECT_EQ(workout->timeout, 300);

    // The end of day waits for a free tick, and then comes once.
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), QStringList{"workout"});
    nudges.on.reset();
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), (QStringList{"workout", "wrap"}));
    nudges.on.reset();
    c.activityTick();
    EXPECT_EQ(nudges.kinds().size(), 2);

    // "Later" brings it back no sooner than 30 minutes on.
    nudges.tap("wrap", "Later");
    clock.advance(29 * 60);
    c.activityTick();
    EXPECT_EQ(nudges.kinds().size(), 2);
    clock.advance(61);
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), (QStringList{"workout", "wrap", "wrap"}));
}

TEST_F(Workday, TheRunningTickRecordsWhatIsInFrontAndUploadsEvery15MinutesOnlyWhileTracking)
{
    settings->setTrackWorkday(false);
    AppController& c = make();
    c.launch();
    advance(901, 1);
    EXPECT_EQ(capture.frontAsked, 0);
    EXPECT_TRUE(c.tracker->spans().empty());
    EXPECT_EQ(count("POST", "/api/workday"), 0);

    // The launch's timer, the desktop's front application and the day file.
    settings->setTrackWorkday(true);
    advance(15, 1);
    ASSERT_EQ(c.tracker->spans().size(), 1u);
    const auto stored = WorkdayTracker::load(Fmt::day(clock.now()), support.file("workday"));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].app, "Figma");
    EXPECT_EQ(stored[0].title, "Venue");
    EXPECT_TRUE(waitFor([&] { return logLines().contains("workday uploaded (1 spans)"); }));

    advance(45, 1);
    EXPECT_EQ(c.tracker->spans().size(), 1u);
    c.rebuildMenu();
    ASSERT_TRUE(menu.model().s().workday);
    EXPECT_EQ(menu.model().s().workday->line, "Today 1 m tracked");
    EXPECT_EQ(count("POST", "/api/workday"), 1) << "the next upload is 900 s after this one";
}

TEST_F(Workday, UnsentDaysGoOutAtLaunchAndAtTheRollOver)
{
    settings->setTrackWorkday(true);
    // A day an earlier run recorded and could not send.
    const QDateTime earlier = clock.now().addDays(-3);
    {
        WorkdayTracker before(support.file("workday"));
        before.setFrontSource([] { return WorkdayTracker::Front{"Xcode", {}, {}}; });
        before.setIdleSource([] { return 0.0; });
        before.sample(true, earlier);
    }
    at(23, 59);
    clock.advance(30);
    const QString today = Fmt::day(clock.now());
    AppController& c = make();
    c.launch();
    ASSERT_TRUE(waitFor([&] { return count("POST", "/api/workday") == 1; }));
    EXPECT_EQ(uploadedDays(), QStringList{Fmt::day(earlier)});
    ASSERT_TRUE(waitFor([&] { return c.tracker->pendingDays().isEmpty(); })) << "the answer came back";

    // The first sample of the next day sends the day that just ended.
    advance(15, 1);
    EXPECT_EQ(c.tracker->day(), today);
    advance(15, 1);
    EXPECT_NE(c.tracker->day(), today);
    ASSERT_TRUE(waitFor([&] { return count("POST", "/api/workday") == 2; }));
    EXPECT_EQ(uploadedDays(), (QStringList{Fmt::day(earlier), today}));
    EXPECT_EQ(jsonOf(requests("POST", "/api/workday").back().body)["spans"].toArray().size(), 1);
    EXPECT_TRUE(waitFor([&] { return c.tracker->pendingDays() == QStringList{Fmt::day(clock.now())}; }));
}

TEST_F(Workday, TheEndOfDayOutcomeDependsOnTheAnswers)
{
    struct Case {
        std::vector<std::string> answers;
        std::optional<QString> error;
        int requests; // status answers asked for
    };
    const std::vector<Case> cases{
        {{"running", "done"}, std::nullopt, 2},
        {{"error"}, "The end-of-day summary failed on the server.", 1},
        {{"none", "none", "none", "none"}, "The server did not start the end-of-day summary.", 4},
        {{"none", "none", "none", "running", "none"}, "The server did not start the end-of-day summary.", 5},
        {{"running"}, "Still running — the result will be on the board.", 84},
        {{"404"}, "This workspace needs an update before it can end your day.", 1},
    };
    settings->setTrackWorkday(true);
    AppController& c = make();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.answers.front() + " x" + std::to_string(k.requests));
        platform.clearRequests();
        answers(k.answers);
        c.wrapUp();
        ASSERT_TRUE(windows->model);
        EXPECT_TRUE(windows->model->running());
        ASSERT_TRUE(waitFor([&] { return worker.jobs.size() == 1; })) << "the day's upload comes first";
        runWrap();
        const auto& m = *windows->model;
        EXPECT_FALSE(m.running());
        EXPECT_EQ(m.error(), k.error);
        EXPECT_EQ(count("GET", "/api/workday/wrap"), k.requests);
        if (!k.error) {
            EXPECT_EQ(m.summary(), "A good day.");
            EXPECT_EQ(m.highlights(), QStringList{"Shipped"});
            EXPECT_EQ(m.cards().size(), 1u);
        }
    }

    // The day uploaded is the day the summary is asked for.
    const QString day = Fmt::day(clock.now());
    const auto uploads = requests("POST", "/api/workday");
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(jsonOf(uploads.back().body)["day"].toString(), day);
    const auto asks = requests("GET", "/api/workday/wrap");
    EXPECT_EQ(QUrlQuery(QString::fromStdString(asks.back().query)).queryItemValue("day"), day);
}

TEST_F(Workday, ClosingTheWindowStopsItsPolling)
{
    settings->setTrackWorkday(false);
    answers({"running"});
    AppController& c = make();
    c.wrapUp();
    worker.finishAll();
    advance(5, 5);
    worker.finishAll();
    EXPECT_EQ(count("GET", "/api/workday/wrap"), 1);
    EXPECT_EQ(count("POST", "/api/workday"), 0) << "no upload with tracking off";
    windows->closed();
    advance(60, 5);
    worker.finishAll();
    EXPECT_EQ(count("GET", "/api/workday/wrap"), 1);
    EXPECT_FALSE(c.wrapModel);
}

TEST_F(Workday, ABreakAfterALongStretchSnoozesWhenLeftAlone)
{
    settings->setBreakReminders(true);
    settings->setBreakMinutes(50);
    AppController& c = make();
    c.activityTick();
    clock.advance(50 * 60);
    c.activityTick();
    const auto* pause = nudges.last("break");
    ASSERT_TRUE(pause);
    EXPECT_EQ(pause->title, "Time for a break — 50 min straight");
    EXPECT_FALSE(pause->message->isEmpty());
    EXPECT_EQ(pause->timeout, 180);

    // Timed out or closed: asked again ten minutes later, not before.
    nudges.on.reset();
    pause->onTimeout();
    clock.advance(9 * 60);
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), QStringList{"break"});
    clock.advance(60);
    c.activityTick();
    EXPECT_EQ(nudges.kinds(), (QStringList{"break", "break"}));
}
