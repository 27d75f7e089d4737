// Voice commands: hold and click mode, the time limit, and what each command does.
#include "FlowFixture.h"

#include "activity/VoiceIntent.h"
#include "core/Strings.h"
#include "session/PinQueue.h"

namespace {

class Voice : public Flow {
protected:
    // Ctrl+Alt+Space held, "text" spoken, keys let go; the final text arrives.
    void say(const QString& text)
    {
        keysHeld = true;
        controller->voiceDown();
        ASSERT_TRUE(voice->on);
        voice->heard = text;
        keysHeld = false;
        advance(0.2);
        ASSERT_FALSE(controller->voiceHeld);
        voice->deliver(text);
    }
    // The Voice button of the panel and the menu.
    void click()
    {
        if (!controller->voiceHeld) {
            controller->voiceByClick = true;
            controller->voiceDown();
        } else {
            controller->voiceUp();
        }
    }
    QString lastPill() const { return pill->shown.empty() ? QString() : pill->shown.back().text; }
    std::optional<double> lastHide() const { return pill->shown.back().hideAfter; }
};

} // namespace

TEST_F(Voice, HoldModeEndsWithinAPollOfTheKeysGoingUp)
{
    AppController& c = make();
    c.voiceDown();
    EXPECT_TRUE(c.voiceHeld);
    EXPECT_TRUE(voice->on);
    EXPECT_TRUE(hud->listening);
    ASSERT_FALSE(pill->shown.empty());
    EXPECT_TRUE(pill->shown.back().listening);
    EXPECT_EQ(lastPill(), "") << "the pill then shows its own “Listening…”";

    // Partial text reaches the pill.
    voice->onPartial("card send");
    EXPECT_EQ(pill->updates, QStringList{"card send"});

    advance(5);
    EXPECT_TRUE(voice->on) << "still held";
    keysHeld = false;
    advance(0.2);
    EXPECT_FALSE(voice->on);
    EXPECT_FALSE(c.voiceHeld);
    EXPECT_FALSE(hud->listening);
    EXPECT_EQ(lastPill(), "…") << "nothing heard yet";
    EXPECT_FALSE(c.voicePoll);

    // A second release does nothing.
    c.voiceUp();
    EXPECT_EQ(voice->stops, 1);
}

TEST_F(Voice, ClickModeIgnoresTheKeysAndEndsOnTheSecondClickOrAfterAMinute)
{
    make();
    keysHeld = false;
    click();
    EXPECT_EQ(lastPill(), "Listening… click Voice again when done");
    advance(10);
    EXPECT_TRUE(voice->on);
    click();
    EXPECT_FALSE(voice->on);

    // The limit: cut off after 60 s with what was heard.
    voice->deliver("");
    click();
    voice->heard = "note call the venue";
    advance(59.8, 0.2);
    EXPECT_TRUE(voice->on);
    advance(0.6, 0.2);
    EXPECT_FALSE(voice->on);
    EXPECT_EQ(lastPill(), "note call the venue");
}

TEST_F(Voice, AClickThatChangedNothingDoesNotTurnTheNextKeyPressIntoAClick)
{
    AppController& c = make();
    c.pinning = true;
    click(); // refused: a pin is being taken
    EXPECT_FALSE(c.voiceHeld);
    c.pinning = false;

    c.voiceDown(); // the hot key
    EXPECT_EQ(lastPill(), "") << "hold mode";
    keysHeld = false;
    advance(0.2);
    EXPECT_FALSE(voice->on) << "the key's release is honoured";
}

TEST_F(Voice, RefusedOrFailedListeningLeavesNothingHeld)
{
    AppController& c = make();
    voice->granted = false;
    c.voiceDown();
    EXPECT_FALSE(c.voiceHeld);
    EXPECT_EQ(lastPill(), "Voice commands need speech and mic access.");
    EXPECT_EQ(lastHide(), 6);

    voice->granted = true;
    voice->failStart = true;
    c.voiceDown();
    EXPECT_FALSE(c.voiceHeld);
    EXPECT_EQ(lastPill(), "no microphone");
    EXPECT_EQ(lastHide(), 4);
    EXPECT_FALSE(c.voicePoll);
}

TEST_F(Voice, EachCommandSaysWhatItDidAndPutsItsPinWhereItBelongs)
{
    AppController& c = make();

    // Nothing heard.
    say("");
    EXPECT_EQ(lastPill(), "");
    EXPECT_EQ(lastHide(), 2);

    // A screenshot with nothing recording is queued.
    say("screenshot");
    ASSERT_TRUE(grabs.screen);
    EXPECT_FALSE(pill->visible);
    grabs.screen(QByteArray("jpeg"));
    EXPECT_EQ(lastPill(), "Pinned the screen (queued)");
    EXPECT_EQ(PinQueue::count(), 1);

    // A failed grab says so.
    say("screenshot");
    grabs.screen(std::nullopt);
    EXPECT_EQ(lastPill(), "Couldn’t take the screenshot (Screen Recording permission?)");
    EXPECT_EQ(lastHide(), 5);

    // During a recording: into the session, with a feed line.
    record();
    say("screenshot");
    grabs.screen(QByteArray("jpeg"));
    EXPECT_EQ(lastPill(), "Pinned the screen");
    EXPECT_EQ(hud->feed.back(), "Pinned: the whole screen (voice)");
    say("note call the venue");
    EXPECT_EQ(lastPill(), "Noted: Call the venue");
    EXPECT_EQ(hud->feed.back(), "Noted: Call the venue");
    EXPECT_TRUE(waitFor([&] { return c.recorder->pinCount() == 2; }));
    EXPECT_EQ(PinQueue::count(), 1);

    // A note whose recording stopped before the text arrived is queued.
    keysHeld = true;
    c.voiceDown();
    keysHeld = false;
    advance(0.2);
    stop();
    voice->deliver("note after the stop");
    EXPECT_EQ(lastPill(), "Noted: After the stop (queued)");
    EXPECT_EQ(PinQueue::count(), 2);
    EXPECT_TRUE(PinQueue::all().back().textOnly.value_or(false));

    say("note");
    EXPECT_EQ(lastPill(), "Say the note after “note”");
    EXPECT_EQ(lastHide(), 3);

    // Cards: without text, then without anyone signed in.
    say("card");
    EXPECT_EQ(lastPill(), "Say the card after “card”, e.g. “card send the brief to Varra”");
    say("card send the brief");
    EXPECT_EQ(lastPill(), "Sign in to Zelvan first (Settings)");
    EXPECT_EQ(lastHide(), 4);
    EXPECT_FALSE(nudges.last("voiceCard"));
}

TEST_F(Voice, AnUnknownPhraseOffersToKeepItAsANote)
{
    make();
    const QString phrase = QString("bake ").repeated(20);
    say(phrase);
    const auto* heard = nudges.last("voice");
    ASSERT_TRUE(heard);
    const QString said = VoiceIntent::parse(phrase).text;
    ASSERT_EQ(said.size(), 99);
    EXPECT_EQ(heard->title, "Heard “" + said.left(69) + "…”");
    EXPECT_EQ(heard->message, "Start with “screenshot”, “note” or “card”.");
    EXPECT_EQ(heard->timeout, 20);
    nudges.tap("voice", "Save as note");
    EXPECT_EQ(PinQueue::count(), 1);
    EXPECT_TRUE(lastPill().startsWith("Noted: "));
}

TEST_F(Voice, ASpokenCardIsCreatedInTheHomeProject)
{
    signedIn();
    WorkspaceServer bramel(platform, WorkspaceServer::Mode::full, "zv_key", "/api/v1/p/bramel");
    make();
    say("card send the brief to Varra");
    const auto* ask = nudges.last("voiceCard");
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->title, "Add a card to Bramel?");
    EXPECT_EQ(ask->message, "Send the brief to Varra");
    EXPECT_EQ(ask->priority, 2);
    nudges.tap("voiceCard", "Add card");
    worker.finishAll();
    EXPECT_EQ(lastPill(), "Card added to Bramel");

    const auto tasks = requests("POST", "/api/v1/p/bramel/tasks");
    ASSERT_EQ(tasks.size(), 1u);
    const QJsonObject body = jsonOf(tasks[0].body);
    EXPECT_EQ(body["title"].toString(), "Send the brief to Varra");
    EXPECT_EQ(body["notes"].toString(), "Added by voice from the Zelvan computer app.");

    // The card is on the platform and can be taken off again.
    ASSERT_EQ(bramel.tasks().size(), 1u);
    const auto api = accounts->apiForDest("bramel");
    ASSERT_TRUE(api);
    EXPECT_NO_THROW(api->json("DELETE", "/api/tasks/" + urlComponent("task:1")));
    EXPECT_EQ(count("DELETE", "/api/v1/p/bramel/tasks/task:1"), 1);

    // A failure is told with the server's reason.
    platform.fail("POST", "/api/v1/p/bramel/tasks", {.status = 500, .body = R"({"error":"board is full"})"});
    say("card another one");
    nudges.tap("voiceCard", "Add card");
    worker.finishAll();
    EXPECT_EQ(lastPill(), "Couldn’t add the card: board is full (HTTP 500)");
    EXPECT_EQ(lastHide(), 5);
}
