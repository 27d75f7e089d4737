// Pins by hand and live tips while recording.
#include "FlowFixture.h"

#include "session/PinQueue.h"

namespace {

class Pins : public Flow {};

OcrEntry seen(double t, const QString& text)
{
    return OcrEntry{t, "Figma", text};
}

} // namespace

TEST_F(Pins, OnePinAtATimeIntoTheRecordingOrTheQueue)
{
    AppController& c = make();
    c.addPin();
    c.addPin();
    EXPECT_EQ(grabs.selections, 1) << "a second pin while the first is taken is ignored";
    EXPECT_TRUE(c.pinning);
    EXPECT_TRUE(nudges.dismissed.contains("tip"));

    // Nothing records: the pin is queued, without a feed line.
    grabs.note = "the venue budget";
    grabs.region(QByteArray("jpeg"));
    EXPECT_FALSE(c.pinning);
    EXPECT_EQ(grabs.askedWhileRecording, false);
    EXPECT_EQ(PinQueue::count(), 1);
    EXPECT_TRUE(hud->feed.isEmpty());
    EXPECT_TRUE(logLines().contains("pin added (queue): the venue budget"));

    // Recording: an empty note pins "a region of the screen" into the session.
    record();
    grabs.note = QString();
    c.addPin();
    grabs.region(QByteArray("jpeg"));
    EXPECT_EQ(grabs.askedWhileRecording, true);
    EXPECT_EQ(hud->feed, QStringList{"Pinned: a region of the screen"});
    EXPECT_TRUE(waitFor([&] { return c.recorder->pinCount() == 1; }));
    EXPECT_EQ(PinQueue::count(), 1);

    // Cancelled prompt, or no region at all: nothing is stored, the guard is cleared.
    grabs.note.reset();
    c.addPin();
    grabs.region(QByteArray("jpeg"));
    c.addPin();
    grabs.region(std::nullopt);
    EXPECT_FALSE(c.pinning);
    EXPECT_EQ(hud->feed.size(), 1);
    EXPECT_EQ(PinQueue::count(), 1);
    stop();
}

TEST_F(Pins, APinWhoseRecordingStoppedDuringTheNoteGoesToTheQueue)
{
    AppController& c = make();
    record();
    grabs.duringNote = [&] { stop(); };
    c.addPin();
    grabs.region(QByteArray("jpeg"));
    EXPECT_EQ(PinQueue::count(), 1);
    EXPECT_TRUE(hud->feed.isEmpty());
}

TEST_F(Pins, TheNextTipRequestFollowsTheServersPaceButNeverCloserThan30Seconds)
{
    legacyHome();
    WorkspaceServer server(platform);
    AppController& c = make();
    settings->setLiveTips(true);
    record();
    const std::string coach = "/api/coach/live";

    struct Case {
        std::optional<int> nextAfter;
        int status;
        qint64 expected; // seconds to the next request
    };
    for (const Case& k :
         {Case{std::nullopt, 500, 120}, Case{10, 200, 30}, Case{90, 200, 90}, Case{std::nullopt, 200, 60}}) {
        SCOPED_TRACE(k.expected);
        platform.route("POST", coach, [k](const httplib::Request&, httplib::Response& res) {
            if (k.status != 200)
                return FakePlatform::error(res, k.status, "coach is down");
            FakePlatform::reply(res, 200,
                                k.nextAfter ? "{\"next_after_s\":" + std::to_string(*k.nextAfter) + "}" : "{}");
        });
        c.tipNextAt = clock.now();
        screenTexts.push_back(seen(double(screenTexts.size()), "Venue shortlist"));
        const int before = count("POST", coach);
        c.liveTipTick(c.recorder);
        EXPECT_TRUE(c.tipBusy);
        c.liveTipTick(c.recorder);
        worker.finishAll();
        EXPECT_FALSE(c.tipBusy);
        EXPECT_EQ(count("POST", coach), before + 1) << "one request while one is in flight";
        EXPECT_EQ(clock.now().secsTo(c.tipNextAt), k.expected);
        EXPECT_EQ(c.tipSentOcr, k.status == 200 ? int(screenTexts.size()) : int(screenTexts.size()) - 1);
    }

    // The request carries only the new text, and the snapshot's kind.
    const QJsonObject body = jsonOf(requests("POST", coach).back().body);
    EXPECT_EQ(body["ocr"].toArray().size(), 1);
    EXPECT_EQ(body["kind"].toString(), "session");
    EXPECT_TRUE(body.contains("started") && body.contains("t") && body.contains("apps") && body.contains("pins"));

    // No new text since: nothing is sent, the next check is a minute later.
    const int before = count("POST", coach);
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    worker.finishAll();
    EXPECT_EQ(count("POST", coach), before);
    EXPECT_EQ(clock.now().secsTo(c.tipNextAt), 60);
    stop();
}

TEST_F(Pins, A404TurnsTipsOffUntilTheNextRecording)
{
    legacyHome();
    WorkspaceServer server(platform, WorkspaceServer::Mode::older);
    AppController& c = make();
    settings->setLiveTips(true);
    record();
    screenTexts = {seen(1, "Quarterly numbers")};
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    worker.finishAll();
    EXPECT_TRUE(c.tipsOff);
    EXPECT_TRUE(
        logLines().contains("coach/live @ Home: 404, live tips off for this recording (workspace needs an update)"));
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    EXPECT_TRUE(worker.jobs.empty());
    stop();
    record();
    EXPECT_FALSE(c.tipsOff);
    stop();
}

TEST_F(Pins, NoTipIsAskedWhileAVoiceCommandOrAPinIsUnderwayOrWithoutAnyProject)
{
    AppController& c = make();
    settings->setLiveTips(true);
    record();
    screenTexts = {seen(1, "Roadmap")};
    c.tipNextAt = clock.now();
    for (bool* flag : {&c.voiceHeld, &c.pinning}) {
        *flag = true;
        c.liveTipTick(c.recorder);
        EXPECT_FALSE(c.tipBusy);
        *flag = false;
    }
    voice->on = true;
    c.liveTipTick(c.recorder);
    EXPECT_FALSE(c.tipBusy);
    voice->on = false;

    // Signed out and no workspace: tips go off for the recording, nothing is sent.
    c.liveTipTick(c.recorder);
    worker.finishAll();
    EXPECT_TRUE(c.tipsOff);
    EXPECT_FALSE(c.tipBusy);
    EXPECT_TRUE(platform.requests().empty());
    stop();
}

TEST_F(Pins, ATipShowsInTheFeedAndAsANudgeAndItsCardAsksWhereItGoes)
{
    signedIn();
    WorkspaceServer bramel(platform, WorkspaceServer::Mode::full, "zv_key", "/api/v1/p/bramel");
    WorkspaceServer tovarind(platform, WorkspaceServer::Mode::full, "zv_key", "/api/v1/p/tovarind");
    bramel.setRouteScore(QJsonObject{{"score", 0.9}, {"reasons", QJsonArray{"with Oxel"}}});
    tovarind.setRouteScore(QJsonObject{{"score", 0.1}, {"reasons", QJsonArray{}}});
    platform.route("POST", "/api/v1/p/bramel/coach/live", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200,
                            R"({"tip":{"title":"Name the owner","body":"Nobody took the venue.",)"
                            R"("card":{"title":"Book the venue","why":"left open"}},"next_after_s":45})");
    });
    platform.route("POST", "/api/v1/p/tovarind/coach/live", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"tip":{"title":"Wrong project","body":""}})");
    });
    settings->setWorkdaySlug("tovarind");
    AppController& c = make();
    settings->setLiveTips(true);
    record();
    // A call: the project that clearly scores best answers, not the home project.
    snapshotKind = "call";
    screenTexts = {seen(1, "Venue")};
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    worker.finishAll();

    ASSERT_TRUE(c.tipWS);
    EXPECT_EQ(c.tipWS->slug, "bramel");
    EXPECT_EQ(count("POST", "/api/v1/p/bramel/coach/live"), 1);
    EXPECT_EQ(count("POST", "/api/v1/p/tovarind/coach/live"), 0);
    EXPECT_EQ(hud->feed, QStringList{"Tip: Name the owner"});
    const auto* tip = nudges.last("tip");
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->title, "Name the owner");
    EXPECT_EQ(tip->message, "Nobody took the venue.\nCard: Book the venue");
    EXPECT_EQ(tip->timeout, 45);
    ASSERT_EQ(tip->buttons.size(), 2u);
    EXPECT_EQ(tip->buttons[0].title, "Got it");
    EXPECT_FALSE(tip->buttons[0].primary);
    EXPECT_EQ(tip->buttons[1].title, "Add as card…");
    EXPECT_TRUE(tip->buttons[1].primary);

    // The card question suggests the project of the tip.
    nudges.tap("tip", "Add as card…");
    const auto* card = nudges.last("card");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->message, "“Book the venue”\nSuggested: Bramel");
    EXPECT_EQ(card->buttons.front().title, "Bramel — New from chat");

    // A tip without a card has "Got it" alone, as the primary button.
    platform.route("POST", "/api/v1/p/bramel/coach/live", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"tip":{"title":"Breathe","body":"Slow down."}})");
    });
    screenTexts.push_back(seen(2, "More"));
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    worker.finishAll();
    tip = nudges.last("tip");
    ASSERT_EQ(tip->buttons.size(), 1u);
    EXPECT_TRUE(tip->buttons[0].primary);
    EXPECT_EQ(tip->message, "Slow down.");
    stop();
}

TEST_F(Pins, AnAnswerForAnEarlierRecordingLeavesTheNewOneAlone)
{
    legacyHome();
    WorkspaceServer server(platform);
    platform.route("POST", "/api/coach/live", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"tip":{"title":"Late","body":""},"next_after_s":300})");
    });
    AppController& c = make();
    settings->setLiveTips(true);
    record();
    screenTexts = {seen(1, "Old text")};
    c.tipNextAt = clock.now();
    c.liveTipTick(c.recorder);
    // The project is scored first; then the coach request waits.
    ASSERT_EQ(worker.jobs.size(), 1u);
    auto score = std::move(worker.jobs.front());
    worker.jobs.clear();
    score.first();
    score.second();
    ASSERT_EQ(worker.jobs.size(), 1u);

    // A new recording begins before the answer arrives.
    auto job = std::move(worker.jobs.front());
    worker.jobs.clear();
    stop();
    record();
    const QDateTime due = c.tipNextAt;
    job.first();
    job.second();
    EXPECT_EQ(c.tipNextAt, due);
    EXPECT_EQ(c.tipSentOcr, 0);
    EXPECT_FALSE(c.tipBusy);
    EXPECT_FALSE(c.tipsOff);
    EXPECT_FALSE(nudges.last("tip"));
    EXPECT_TRUE(hud->feed.isEmpty());
    stop();
}
