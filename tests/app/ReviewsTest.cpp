// Review watches, cards from suggestions and tips, and moving the last filing.
#include "FlowFixture.h"

#include "core/Strings.h"
#include "session/Session.h"

namespace {

class Reviews : public Flow {
protected:
    void SetUp() override
    {
        Flow::SetUp();
        signedIn();
        bramel = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key", "/api/v1/p/bramel");
        tovarind = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key",
                                                     "/api/v1/p/tovarind");
        personal = std::make_unique<WorkspaceServer>(platform, WorkspaceServer::Mode::full, "zv_key",
                                                     "/api/v1/personal");
        bramel->setProject("bramel");
        tovarind->setProject("tovarind");
        tovarind->shareCallsWith(*bramel);
        personal->shareCallsWith(*bramel);
    }
    // The detail of call `id` under Bramel answers with this review.
    void review(const std::string& id, const std::string& json)
    {
        platform.route("GET", "/api/v1/p/bramel/calls/" + id, [json](const httplib::Request&, httplib::Response& res) {
            FakePlatform::reply(res, 200, R"({"id":"x","review":)" + json + "}");
        });
    }
    void watch(const QString& id, const QString& title = "Venue call")
    {
        controller->watchReview(id, *accounts->apiForDest("bramel"),
                                Url::parse(platform.base() + "/app/p/bramel/#/library/call/" + id), "bramel", title);
    }
    void tick()
    {
        advance(30, 30);
        worker.finishAll();
    }
    std::unique_ptr<WorkspaceServer> bramel, tovarind, personal;
};

} // namespace

TEST(OpenSuggestions, KeepsTheOpenOnesKeyedByServerKeyOrPosition)
{
    const auto parse = [](const char* json) {
        return openSuggestions(QJsonDocument::fromJson(QByteArray("{\"r\":") + json + "}").object().value("r"));
    };
    EXPECT_TRUE(parse("null").empty());
    EXPECT_TRUE(parse(R"({"suggestions":"none"})").empty());
    EXPECT_TRUE(parse(R"({"suggestions":[{"title":"a"},3]})").empty());
    const auto list = parse(R"({"suggestions":[
        {"title":"Send the offer","i":"s7","why":"promised"},
        {"title":"   "},
        {"title":"Done already","state":"accepted"},
        {"title":"Not wanted","state":"dismissed"},
        {"title":"Book the venue","state":"open"},
        {"title":42,"i":9}]})");
    EXPECT_EQ(list,
              (std::vector<ReviewSuggestion>{{"s7", "Send the offer", "promised"},
                                             {"4", "Book the venue", std::nullopt},
                                             {"9", "42", std::nullopt}}));
}

TEST_F(Reviews, AWatchPollsEvery30SecondsUntilItsReviewOrItsTimeRunsOut)
{
    AppController& c = make();
    review("rec:1", "null");
    watch("rec:1");
    watch("rec:2");
    EXPECT_EQ(scheduler.intervals(), std::vector<double>{30});
    EXPECT_EQ(count("GET", "/api/v1/p/bramel/calls/rec:1"), 0) << "no poll at once";
    tick();
    EXPECT_EQ(count("GET", "/api/v1/p/bramel/calls/rec:1"), 1);
    EXPECT_EQ(c.reviews.size(), 1u) << "rec:2 is unknown to the server (404): dropped";

    // Other failures are logged and asked again.
    platform.fail("GET", "/api/v1/p/bramel/calls/rec:1", {.status = 502, .body = R"({"error":"bad gateway"})"});
    tick();
    EXPECT_TRUE(logLines().contains("review poll rec:1: bad gateway (HTTP 502)"));
    EXPECT_EQ(c.reviews.size(), 1u);

    // A review that never comes: dropped after 20 minutes, and the timer stops.
    advance(1200 - 60, 30);
    worker.finishAll();
    EXPECT_EQ(c.reviews.size(), 1u);
    tick();
    tick();
    EXPECT_TRUE(c.reviews.empty());
    EXPECT_FALSE(c.reviewTimer);
    EXPECT_TRUE(scheduler.intervals().empty());
    EXPECT_TRUE(nudges.shown.empty());
}

TEST_F(Reviews, AReadyReviewIsAnnouncedOnceAndOpenedOrKeptForItsSuggestions)
{
    AppController& c = make();
    struct Case {
        std::string review;
        int n;
        QString message;
    };
    const std::vector<Case> cases{
        {R"({"suggestions":[]})", 0, "Notes and the workflow review are in."},
        {R"({"suggestions":[{"title":"Send the offer"}]})", 1, "1 suggestion to look at. Each one asks where it goes."},
        {R"({"suggestions":[{"title":"a"},{"title":"b"}]})", 2,
         "2 suggestions to look at. Each one asks where it goes."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.n);
        nudges.shown.clear();
        review("rec:1", k.review);
        watch("rec:1", QString(45, u'v'));
        tick();
        ASSERT_EQ(c.reviews.size(), 1u);
        EXPECT_TRUE(c.reviews[0].ready);
        EXPECT_EQ(int(c.reviews[0].suggestions.size()), k.n);
        EXPECT_EQ(notify.posted.back(), QString("rec:1 %1 %2").arg(QString(45, u'v')).arg(k.n));
        ASSERT_EQ(nudges.kinds(), QStringList{"review"});
        EXPECT_EQ(nudges.shown[0].title, "Review ready — " + QString(43, u'v') + "…");
        EXPECT_EQ(nudges.shown[0].message, k.message);
        // A ready watch is not asked again, and alone it does not keep the timer.
        tick();
        EXPECT_EQ(nudges.kinds(), QStringList{"review"});
        EXPECT_FALSE(c.reviewTimer);

        nudges.tap("review", "Open");
        EXPECT_EQ(board.opened.back(), platform.base() + "/app/p/bramel/#/library/call/rec:1");
        EXPECT_EQ(c.reviews.size(), k.n > 0 ? 1u : 0u) << "kept while it has suggestions to offer";
        c.reviews.clear();
    }
    EXPECT_TRUE(logLines().contains("review ready: rec:1"));
}

TEST_F(Reviews, OnePollPerCallAtATimeAndNoNudgeDuringARecording)
{
    AppController& c = make();
    record();
    review("rec:1", R"({"suggestions":[]})");
    watch("rec:1", "44 characters are shown whole, not one more!");
    advance(30, 30);
    ASSERT_EQ(worker.jobs.size(), 1u);
    advance(30, 30);
    EXPECT_EQ(worker.jobs.size(), 1u) << "the slow answer is still awaited";
    worker.finishAll();
    EXPECT_TRUE(c.reviews[0].ready);
    EXPECT_EQ(notify.posted.size(), 1);
    EXPECT_FALSE(nudges.last("review"));
    advance(60, 30);
    worker.finishAll();
    EXPECT_EQ(count("GET", "/api/v1/p/bramel/calls/rec:1"), 1);
    stop();

    // A nudge title of exactly 44 characters is whole.
    c.reviews.clear();
    watch("rec:1", "44 characters are shown whole, not one more!");
    tick();
    EXPECT_EQ(nudges.last("review")->title, "Review ready — 44 characters are shown whole, not one more!");
}

TEST_F(Reviews, SignOutForgetsEveryWatch)
{
    AppController& c = make();
    review("rec:1", "null");
    watch("rec:1");
    accounts->signOut();
    EXPECT_TRUE(c.reviews.empty());
    EXPECT_FALSE(c.reviewTimer);
    advance(60, 30);
    worker.finishAll();
    EXPECT_EQ(count("GET", "/api/v1/p/bramel/calls/rec:1"), 0);
}

TEST_F(Reviews, ACardGoesByAcceptanceTaskOrPersonalTask)
{
    AppController& c = make();
    platform.route("POST", "/api/v1/p/bramel/calls/([^/]+)/review/([^/]+)/accept",
                   [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
    review("rec:1",
           R"({"suggestions":[{"title":"Send the offer","i":"s1","why":"promised"},)"
           R"({"title":"Book the venue","i":"s2"},{"title":"Call Oxel","i":"s3"}]})");
    watch("rec:1");
    tick();
    ASSERT_EQ(c.reviews[0].suggestions.size(), 3u);

    // The question suggests the call's own project first.
    c.askCard("Send the offer", "promised", "bramel", std::pair(c.reviews[0], QString("s1")));
    const auto* ask = nudges.last("card");
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->title, "Where does this card go?");
    EXPECT_EQ(ask->message, "“Send the offer”\nSuggested: Bramel");
    EXPECT_TRUE(ask->stacked);
    QStringList labels;
    for (const auto& b : ask->buttons)
        labels << b.title + (b.primary ? "*" : "");
    EXPECT_EQ(labels,
              (QStringList{"Bramel — New from chat*", "Personal — my day (private)", "Tovarind — New from chat"}));

    // Same project: the suggestion is accepted on the call.
    nudges.tap("card", "Bramel — New from chat");
    worker.finishAll();
    EXPECT_EQ(count("POST", "/api/v1/p/bramel/calls/rec:1/review/s1/accept"), 1);
    EXPECT_TRUE(bramel->tasks().empty());
    EXPECT_EQ(nudges.last("cardDone")->title, "Added to Bramel · New from chat");

    // Another project: an inbox task there.
    c.addCard("Book the venue", std::nullopt, "tovarind", std::pair(c.reviews[0], QString("s2")));
    worker.finishAll();
    ASSERT_EQ(tovarind->tasks().size(), 1u);
    EXPECT_EQ(tovarind->tasks()[0],
              (QJsonObject{{"title", "Book the venue"}, {"notes", ""}, {"inbox", true}, {"source", "mac"}}));

    // Personal: a task of two keys.
    c.addCard("Call Oxel", "soon", "personal", std::pair(c.reviews[0], QString("s3")));
    worker.finishAll();
    ASSERT_EQ(personal->tasks().size(), 1u);
    EXPECT_EQ(personal->tasks()[0], (QJsonObject{{"title", "Call Oxel"}, {"notes", "soon"}}));
    EXPECT_EQ(nudges.last("cardDone")->title, "Added to your day (Personal)");
    EXPECT_TRUE(c.reviews[0].suggestions.empty());
    EXPECT_TRUE(logLines().contains("card “Call Oxel” -> personal"));

    // A failure keeps the suggestion offered.
    c.reviews[0].suggestions = {{"s4", "Again", std::nullopt}};
    platform.fail("POST", "/api/v1/p/tovarind/tasks", {.status = 500, .body = R"({"error":"full"})"});
    c.addCard("Again", std::nullopt, "tovarind", std::pair(c.reviews[0], QString("s4")));
    worker.finishAll();
    EXPECT_EQ(nudges.last("cardDone")->title, "Couldn’t add the card");
    EXPECT_EQ(nudges.last("cardDone")->message, "full (HTTP 500)");
    EXPECT_EQ(c.reviews[0].suggestions.size(), 1u);
}

TEST_F(Reviews, ACardPersonalCannotTakeIsKeptAsANoteAndSaidSo)
{
    AppController& c = make();
    platform.route("POST", "/api/v1/personal/tasks", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::error(res, 404, "no tasks here");
    });
    c.askCard("Renew the domain", "expires soon", std::nullopt, std::nullopt);
    const auto* ask = nudges.last("card");
    EXPECT_TRUE(ask->buttons.front().primary);
    EXPECT_EQ(ask->buttons.front().title, "Personal — my day (private)");
    EXPECT_TRUE(ask->message->endsWith("Suggested: Personal"));
    nudges.tap("card", "Personal — my day (private)");
    worker.finishAll();

    EXPECT_TRUE(logLines().contains("personal/tasks 404 -> private note"));
    const auto* done = nudges.last("cardDone");
    EXPECT_EQ(done->title, "Kept as a private note (Personal)");
    const auto notes = Session::pending();
    ASSERT_EQ(notes.size(), 1u);
    const SessionMeta& m = notes[0]->meta();
    EXPECT_EQ(m.title, "Note · Renew the domain");
    EXPECT_EQ(m.personal, true);
    ASSERT_EQ(m.pins.size(), 1u);
    EXPECT_EQ(m.pins[0].note, "Renew the domain — expires soon");

    // Signed out: the question becomes a way to sign in.
    accounts->signOut();
    c.askCard("Later card", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(nudges.last("card")->title, "Sign in to add cards");
    EXPECT_EQ(nudges.last("card")->message, "Later card");
}

TEST_F(Reviews, TheLastFilingMovesAndKeepsItsNewId)
{
    AppController& c = make();
    // Nothing to move to: no question.
    settings->setLastFiled(FiledRef{"rec:9", "Lonely", "personal", clock.now()});
    settings->setProjects({});
    c.askMove();
    EXPECT_FALSE(nudges.last("move"));
    signedIn();

    // A real call in Bramel, moved to Tovarind through the platform.
    const std::string id = "rec:1";
    {
        const auto api = accounts->apiForDest("bramel");
        api->json("POST", "/api/calls", QJsonObject{{"title", "Venue call"}});
    }
    settings->setLastFiled(FiledRef{QString::fromStdString(id), "Venue call", "bramel", clock.now()});
    c.askMove();
    const auto* ask = nudges.last("move");
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->title, "Move “Venue call”?");
    EXPECT_TRUE(ask->message->startsWith("Now in Bramel."));
    QStringList titles;
    for (const auto& b : ask->buttons)
        titles << b.title;
    EXPECT_EQ(titles, (QStringList{"Personal (private)", "Tovarind"}));
    nudges.tap("move", "Tovarind");
    worker.finishAll();

    const auto moved = requests("POST", "/api/v1/p/bramel/calls/rec:1/move");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(jsonOf(moved[0].body), (QJsonObject{{"to", "tovarind"}}));
    ASSERT_TRUE(settings->lastFiled());
    EXPECT_EQ(settings->lastFiled()->id, "rec:2");
    EXPECT_EQ(settings->lastFiled()->dest, "tovarind");
    EXPECT_EQ(bramel->calls().at("rec:2").project, "tovarind");
    const auto* done = nudges.last("move");
    EXPECT_EQ(done->title, "Moved to Tovarind");
    EXPECT_EQ(done->message, "“Venue call”");
    nudges.tap("move", "Open");
    EXPECT_EQ(board.opened.back(), accounts->link("tovarind", "rec:2")->toQUrl().toString());
    EXPECT_TRUE(board.opened.back().contains("/app/p/tovarind/"));
    EXPECT_TRUE(logLines().contains("moved rec:1 bramel -> tovarind (rec:2)"));

    // The new id under "call", or none at all.
    struct Case {
        std::string answer;
        QString id;
    };
    for (const Case& k : {Case{R"({"call":{"id":"rec:7"}})", "rec:7"}, Case{R"({"ok":true})", "rec:7"}}) {
        platform.route("POST", "/api/v1/p/tovarind/calls/([^/]+)/move",
                       [k](const httplib::Request&, httplib::Response& res) {
                           FakePlatform::reply(res, 200, k.answer);
                       });
        c.move(*settings->lastFiled(), "tovarind");
        worker.finishAll();
        EXPECT_EQ(settings->lastFiled()->id, k.id);
    }

    // 404 and other failures leave the filing as it was.
    const FiledRef before = *settings->lastFiled();
    platform.route("POST", "/api/v1/p/tovarind/calls/([^/]+)/move",
                   [](const httplib::Request&, httplib::Response& res) { FakePlatform::error(res, 404, "no moves"); });
    c.move(before, "personal");
    worker.finishAll();
    EXPECT_EQ(nudges.last("move")->title, "Couldn’t move it yet");
    platform.route("POST", "/api/v1/p/tovarind/calls/([^/]+)/move",
                   [](const httplib::Request&, httplib::Response& res) { FakePlatform::error(res, 409, "busy"); });
    c.move(before, "personal");
    worker.finishAll();
    EXPECT_EQ(nudges.last("move")->title, "Couldn’t move it");
    EXPECT_EQ(nudges.last("move")->message, "busy (HTTP 409)");
    EXPECT_EQ(*settings->lastFiled(), before);
}
