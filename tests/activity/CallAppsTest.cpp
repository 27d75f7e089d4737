#include "activity/CallApps.h"
#include "core/Fmt.h"
#include "platform/Windows.h"
#include "support/TestSupport.h"
#include "support/UnicodeSpace.h"

#include <gtest/gtest.h>

namespace {

using CallApps::browserName;
using CallApps::nativeName;
using CallApps::recordingTitle;
using CallApps::webCall;

struct TitleCase {
    const char* what;
    QString app;
    std::optional<QString> window;
    QString expected; // empty: the generic "<app> call · <time>" form
};

TEST(CallApps, RecordingTitle)
{
    FixedClock clock;
    const QString long120 = QString(120, u'x');
    const std::vector<TitleCase> cases = {
        {"browser suffix first, then the leading Meet", "Google Meet", "Meet - abc-defg-hij - Google Chrome",
         "abc-defg-hij"},
        {"surrounding white space goes before the suffixes", "Chrome", "  Plan review - Google Chrome\n", "Plan review"},
        {"Unicode white space goes too", "Chrome", UnicodeSpace::padded("Plan review - Google Chrome"), "Plan review"},
        {"a zero-width space is no white space", "Zoom", UnicodeSpace::zeroWidth + "Plan review",
         UnicodeSpace::zeroWidth + "Plan review"},
        {"Chrome suffix is not at the end yet when it is tried", "Google Meet", "Standup - Google Chrome - Google Meet",
         "Standup - Google Chrome"},
        {"each suffix is tried once", "Teams", "A - Arc - Arc", "A - Arc"},
        {"lower-case meet prefix stays", "Google Meet", "meet - abc-defg-hij", "meet - abc-defg-hij"},
        {"en dash prefix goes", "Google Meet", "Meet – abc-defg-hij", "abc-defg-hij"},
        {"Teams bar suffix", "Teams", "Weekly sync | Microsoft Teams", "Weekly sync"},
        {"generic title", "Zoom", "Zoom Meeting", ""},
        {"generic once suffixes are gone", "Google Meet", "Google Meet - Google Chrome", ""},
        {"generic in any case", "Slack", "SLACK", ""},
        {"no title", "Zoom", std::nullopt, ""},
        {"two characters", "Zoom", "ab", ""},
        {"two characters once trimmed", "Zoom", " ab ", ""},
        {"three characters stay", "Zoom", "abc", "abc"},
        {"120 characters stay whole", "Zoom", long120, long120},
        {"121 characters are cut to 120", "Zoom", long120 + u'y', long120},
        // Characters are what a reader sees: "é" written as e + accent counts once.
        {"two graphemes of four code units", "Zoom", QStringLiteral("e\u0301e\u0301"), ""},
        {"cut between graphemes", "Zoom", QString(119, u'x') + QStringLiteral("e\u0301z"),
         QString(119, u'x') + QStringLiteral("e\u0301")},
    };
    const QString generic = QStringLiteral(" call · ") + Fmt::human(clock.now());
    for (const TitleCase& c : cases)
        EXPECT_EQ(recordingTitle(c.app, c.window), c.expected.isEmpty() ? c.app + generic : c.expected) << c.what;
}

TEST(CallApps, WebCall)
{
    const std::vector<std::pair<QString, std::optional<QString>>> cases = {
        {"Meet – abc-defg-hij", "Google Meet"},
        {"Meet - abc-defg-hij - Google Chrome", "Google Meet"},
        {"meet.google.com/abc-defg-hij - Chromium", "Google Meet"},
        {"Google Meet - Firefox", "Google Meet"},
        {"Meeting notes - Docs", std::nullopt},
        {"Inbox (3) - Gmail", std::nullopt},
        {"Zoom and Teams compared", "Zoom"},
        {"Microsoft Teams", "Teams"},
        {"Whereby - room", "Whereby"},
        {"Jitsi Meet", "Jitsi"},
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(webCall(title), expected) << title.toStdString();
}

TEST(CallApps, ApplicationIds)
{
    const std::vector<std::tuple<QString, std::optional<QString>, std::optional<QString>>> cases = {
        // id, native name, browser name
        {"us.zoom.xos", "Zoom", std::nullopt},
        {"us.zoom.ZoomClips", "Zoom", std::nullopt},
        {"com.microsoft.teams2", "Teams", std::nullopt},
        {"com.apple.WebKit.GPU", std::nullopt, "Safari"},
        {"", std::nullopt, std::nullopt},
        {"US.ZOOM.XOS", std::nullopt, std::nullopt},
        // Linux: executables, desktop-entry ids, Flatpak ids.
        {"zoom", "Zoom", std::nullopt},
        {"Zoom", "Zoom", std::nullopt},
        {"us.zoom.Zoom", "Zoom", std::nullopt},
        {"teams-for-linux", "Teams", std::nullopt},
        {"com.slack.Slack", "Slack", std::nullopt},
        {"slack", "Slack", std::nullopt},
        {"Discord", "Discord", std::nullopt},
        {"com.discordapp.Discord", "Discord", std::nullopt},
        {"CiscoCollabHost", "Webex", std::nullopt},
        {"google-chrome", std::nullopt, "Chrome"},
        {"chrome", std::nullopt, "Chrome"},
        {"com.google.Chrome", std::nullopt, "Chrome"},
        {"chromium", std::nullopt, "Chromium"},
        {"org.chromium.Chromium", std::nullopt, "Chromium"},
        {"firefox-esr", std::nullopt, "Firefox"},
        {"org.mozilla.firefox", std::nullopt, "Firefox"},
        {"brave-browser", std::nullopt, "Brave"},
        {"msedge", std::nullopt, "Edge"},
        {"com.microsoft.Edge", std::nullopt, "Edge"},
        {"vivaldi-stable", std::nullopt, "Vivaldi"},
        {"com.opera.Opera", std::nullopt, "Opera"},
        {"org.gnome.Nautilus", std::nullopt, std::nullopt},
    };
    for (const auto& [id, native, browser] : cases) {
        EXPECT_EQ(nativeName(id), native) << id.toStdString();
        EXPECT_EQ(browserName(id), browser) << id.toStdString();
    }
}

TEST(CallApps, FrontTitleSkipsUntitledWindows)
{
    const std::vector<Windows::Win> wins = {
        {.pid = 7, .owner = "Zoom", .title = ""},
        {.pid = 8, .owner = "Chrome", .title = "Docs"},
        {.pid = 7, .owner = "Zoom", .title = "Zoom Meeting"},
        {.pid = 7, .owner = "Zoom", .title = "Zoom Workplace"},
    };
    EXPECT_EQ(Windows::frontTitle(wins, 7), "Zoom Meeting");
    EXPECT_EQ(Windows::frontTitle(wins, 9), std::nullopt);
    EXPECT_EQ(Windows::frontTitle({{.pid = 7, .owner = "Zoom", .title = ""}}, 7), std::nullopt);
}

} // namespace
