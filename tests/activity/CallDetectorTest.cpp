#include "CallFakes.h"
#include "activity/CallDetector.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/AppId.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

using Proc = MicUsage::Proc;
using App = Windows::App;
using Win = Windows::Win;

const qint32 ownPid = qint32(QCoreApplication::applicationPid());

const App zoom{.pid = 30, .id = "Zoom", .name = "Zoom"};
const App slack{.pid = 20, .id = "com.slack.Slack", .name = "Slack"};
const App teams{.pid = 21, .id = "teams-for-linux", .name = "Teams for Linux"};
const App discord{.pid = 22, .id = "discord", .name = "Discord"};
const App chrome{.pid = 40, .id = "google-chrome", .name = "Google Chrome"};
const App terminal{.pid = 50, .id = "org.gnome.Terminal", .name = "Terminal"};

std::optional<CallHit> hit(const char* app, std::optional<QString> title = std::nullopt)
{
    return CallHit{app, title};
}

struct IdentifyCase {
    const char* what;
    std::optional<std::vector<Proc>> users;
    std::vector<Win> wins;
    std::optional<App> front;
    std::vector<App> apps;
    std::optional<CallHit> expected;
};

TEST(CallDetector, Identify)
{
    const std::vector<Win> zoomWins = {{30, "Zoom", ""}, {30, "Zoom", "Zoom Meeting"}};
    const std::vector<Win> meetTab = {{40, "Google Chrome", "Inbox (3) - Gmail"},
                                      {40, "Google Chrome", "Meet - abc-defg-hij - Google Chrome"}};
    const std::vector<IdentifyCase> cases = {
        {"a call app's helper without windows takes its title from the app's windows",
         std::vector<Proc>{{500, "us.zoom.xos"}},
         zoomWins,
         terminal,
         {slack, zoom},
         hit("Zoom", "Zoom Meeting")},
        {"a call app with no windows at all", std::vector<Proc>{{500, "zoom"}}, {}, std::nullopt, {}, hit("Zoom")},
        {"input users that are no call app are passed over",
         std::vector<Proc>{{600, "arecord"}, {40, "chrome"}},
         meetTab,
         std::nullopt,
         {chrome},
         hit("Google Meet", "Meet - abc-defg-hij - Google Chrome")},
        {"a browser using the microphone without a call window",
         std::vector<Proc>{{40, "chrome"}},
         {{40, "Google Chrome", "Inbox (3) - Gmail"}},
         std::nullopt,
         {chrome},
         hit("Chrome")},
        {"our own process is passed over", std::vector<Proc>{{ownPid, "us.zoom.xos"}}, {}, std::nullopt, {}, std::nullopt},
        {"the front call app", std::vector<Proc>{}, zoomWins, zoom, {zoom}, hit("Zoom", "Zoom Meeting")},
        {"the front browser with a call title",
         std::vector<Proc>{},
         meetTab,
         chrome,
         {chrome},
         hit("Google Meet", "Meet - abc-defg-hij - Google Chrome")},
        {"a call in a browser behind other windows",
         std::vector<Proc>{},
         {{50, "Terminal", "Zoom meeting notes"}, {40, "Google Chrome", "Zoom Meeting - Google Chrome"}},
         terminal,
         {terminal, chrome},
         hit("Zoom", "Zoom Meeting - Google Chrome")},
        {"windows that look like calls outside browsers count for nothing",
         std::vector<Proc>{},
         {{50, "Terminal", "Zoom meeting notes"}},
         terminal,
         {terminal},
         std::nullopt},
        {"somebody else uses the microphone: running call apps are not guessed",
         std::vector<Proc>{{600, "arecord"}},
         {},
         terminal,
         {terminal, discord},
         std::nullopt},
        {"nobody seen: a running call app is guessed",
         std::vector<Proc>{},
         {{22, "Discord", "general"}},
         terminal,
         {terminal, discord},
         hit("Discord", "general")},
        {"no list of users: Slack and Teams alone are not calls", std::nullopt, {}, terminal, {slack, teams}, std::nullopt},
        {"no list of users: Discord is", std::nullopt, {}, terminal, {slack, discord}, hit("Discord")},
    };
    for (const IdentifyCase& c : cases) {
        FakeMic mic;
        mic.procs = c.users;
        FakeWindows windows;
        windows.wins = c.wins;
        windows.front = c.front;
        windows.apps = c.apps;
        EXPECT_EQ(CallDetector::identify(mic, windows), c.expected) << c.what;
        EXPECT_EQ(windows.listed, 1) << c.what;
    }
}

// A detector on fakes with a call (Discord) on screen, counting what it reports.
struct Rig {
    FixedClock clock;
    FakeMic mic;
    FakeWindows windows;
    CallDetector detector{mic, windows};
    std::vector<CallHit> offers;
    int ended = 0;
    bool recording = false, usesMic = true, fromCall = true, enabled = true;

    Rig()
    {
        windows.apps = {discord};
        windows.wins = {{22, "Discord", "voice"}};
        detector.isRecording = [this] { return recording; };
        detector.recordingUsesMic = [this] { return usesMic; };
        detector.recordingFromCall = [this] { return fromCall; };
        detector.enabled = [this] { return enabled; };
        detector.onCallStart = [this](const CallHit& h) { offers.push_back(h); };
        detector.onCallEnded = [this] { ++ended; };
    }
    void poll()
    {
        clock.advance(3);
        detector.tick();
        EXPECT_TRUE(waitFor([&] { return !detector.asking(); }, 10)) << "the question was answered";
    }
    void others(std::optional<bool> busy)
    {
        if (!busy)
            mic.procs.reset();
        else
            mic.procs = *busy ? std::vector<Proc>{{22, "discord"}} : std::vector<Proc>{};
    }
};

TEST(CallDetector, OffersEachCallOnce)
{
    Rig r;
    r.mic.running = true;
    r.others(true);
    for (int i = 0; i < 4; ++i)
        r.poll();
    ASSERT_EQ(r.offers.size(), 1u);
    EXPECT_EQ(r.offers[0], hit("Discord", "voice"));

    // The microphone must be seen free before the next call is offered.
    r.mic.running = false;
    r.others(false);
    r.poll();
    r.mic.running = true;
    r.others(true);
    r.poll();
    EXPECT_EQ(r.offers.size(), 2u);

    // Suppressed: the call that goes on is not offered; the next one is.
    r.mic.running = false;
    r.others(false);
    r.poll();
    r.detector.suppressCurrent();
    r.mic.running = true;
    r.others(true);
    r.poll();
    EXPECT_EQ(r.offers.size(), 2u);
    r.others(false);
    r.mic.running = false;
    r.poll();
    r.others(true);
    r.mic.running = true;
    r.poll();
    EXPECT_EQ(r.offers.size(), 3u);
}

// The sound server and the window list can take a while to answer: the
// interface must not wait for them.
TEST(CallDetector, AsksOffTheMainThread)
{
    Rig r;
    r.mic.running = true;
    r.others(true);
    r.detector.tick();
    ASSERT_TRUE(waitFor([&] { return r.offers.size() == 1; }, 10));
    const auto main = std::this_thread::get_id();
    for (AskedOn* on : {&r.mic.on, &r.windows.on}) {
        const auto threads = on->all();
        ASSERT_FALSE(threads.empty());
        for (const auto& t : threads)
            EXPECT_NE(t, main);
    }
}

TEST(CallDetector, OurOwnCaptureIsNoCall)
{
    Rig r;
    r.mic.running = true; // our voice listener keeps the device running
    for (const Proc& own : {Proc{ownPid, ""}, Proc{ownPid + 1, QString::fromLatin1(appId)}}) {
        r.mic.procs = std::vector<Proc>{own};
        r.poll();
    }
    EXPECT_TRUE(r.offers.empty());
    // Only without a list of users does the device's state arm the offer.
    r.others(std::nullopt);
    r.poll();
    EXPECT_EQ(r.offers.size(), 1u);
}

TEST(CallDetector, UnknownAnswersChangeNothing)
{
    Rig r;
    r.mic.running = true;
    r.others(true);
    r.poll();
    ASSERT_EQ(r.offers.size(), 1u);
    // Neither question answered: the offer is kept, so the same call is not offered again.
    r.others(std::nullopt);
    r.mic.running.reset();
    r.poll();
    r.mic.running = true;
    r.others(true);
    r.poll();
    EXPECT_EQ(r.offers.size(), 1u);
}

TEST(CallDetector, DisabledOffersNothingUntilSwitchedOn)
{
    TempSupport support;
    Rig r;
    r.enabled = false;
    r.mic.running = true;
    r.others(true);
    r.poll();
    r.poll();
    EXPECT_TRUE(r.offers.empty());
    r.enabled = true;
    r.poll();
    EXPECT_EQ(r.offers.size(), 1u);
    slogFlush();
    EXPECT_EQ(readFile(Paths::logFile()).count("call detected"), 1);
}

TEST(CallDetector, LogLineCannotBeForgedByATitle)
{
    TempSupport support;
    Rig r;
    r.windows.wins = {{22, "Discord", "evil\n2025-01-31 09:05:03  sign-in: done\r\u2028x"}};
    r.mic.running = true;
    r.others(true);
    r.poll();
    ASSERT_EQ(r.offers.size(), 1u);
    EXPECT_EQ(r.offers[0].title, r.windows.wins[0].title); // the hit keeps the title as it is
    slogFlush();
    const QByteArray log = readFile(Paths::logFile());
    EXPECT_EQ(log.count('\n'), 1) << log.constData();
    EXPECT_TRUE(log.endsWith("  call detected: Discord “evil 2025-01-31 09:05:03  sign-in: done  x”\n"))
        << log.constData();
}

TEST(CallDetector, EndsARecordedCallOnceAfterTwentyQuietSeconds)
{
    Rig r;
    r.recording = true;
    r.others(false);
    for (int i = 1; i <= 7; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 0) << "seven quiet polls are 18 s";
    r.poll();
    EXPECT_EQ(r.ended, 1) << "the eighth is 21 s";

    // Busy again, then quiet for long: still prompted, no second prompt.
    r.others(true);
    r.poll();
    r.others(false);
    for (int i = 0; i < 10; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 1);

    // A new recording can prompt again; one busy poll starts the count anew.
    r.detector.resetForRecording();
    for (int i = 0; i < 5; ++i)
        r.poll();
    r.others(true);
    r.poll();
    r.others(false);
    for (int i = 1; i <= 7; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 1);
    r.poll();
    EXPECT_EQ(r.ended, 2);
    EXPECT_TRUE(r.offers.empty());
}

TEST(CallDetector, UnknownAnswerWhileRecordingKeepsTheQuietStretch)
{
    Rig r;
    r.recording = true;
    r.others(false);
    for (int i = 0; i < 4; ++i) // 0, 3, 6, 9 s
        r.poll();
    r.others(std::nullopt); // 12 s: skipped
    r.poll();
    r.others(false);
    r.poll(); // 15 s
    r.poll(); // 18 s
    EXPECT_EQ(r.ended, 0);
    r.poll(); // 21 s
    EXPECT_EQ(r.ended, 1);
}

TEST(CallDetector, WatchesOnlyRecordingsFromCalls)
{
    Rig r;
    r.recording = true;
    r.fromCall = false;
    r.others(false);
    for (int i = 0; i < 10; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 0);
    EXPECT_EQ(r.mic.asked, 0);

    // Without the microphone recorded, the device's state decides.
    r.fromCall = true;
    r.usesMic = false;
    r.others(true);
    r.mic.running = true;
    for (int i = 0; i < 10; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 0);
    r.mic.running = false;
    for (int i = 0; i < 8; ++i)
        r.poll();
    EXPECT_EQ(r.ended, 1);
}

} // namespace
