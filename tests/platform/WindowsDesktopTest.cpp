#include "DesktopHelpers.h"
#include "TestWindow.h"
#include "platform/linux/XWindows.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QString meet = QStringLiteral("Meet - abc-defg-hij - Google Chrome");

bool xdotool(const QStringList& args)
{
    return run(QStringLiteral("xdotool"), args);
}

std::optional<Windows::Win> find(Windows& windows, qint32 pid)
{
    for (const Windows::Win& w : windows.list())
        if (w.pid == pid)
            return w;
    return std::nullopt;
}

int indexOf(const std::vector<Windows::Win>& list, qint32 pid)
{
    const auto it = std::find_if(list.begin(), list.end(), [&](const Windows::Win& w) { return w.pid == pid; });
    return it == list.end() ? -1 : int(it - list.begin());
}

bool runs(Windows& windows, qint32 pid)
{
    const std::vector<Windows::App> apps = windows.runningApps();
    return std::any_of(apps.begin(), apps.end(), [&](const Windows::App& a) { return a.pid == pid; });
}

TEST(XWindows, ListsShownWindowsFrontToBackWithTheirApplications)
{
    XWindows windows;
    TestWindow browser(meet);
    ASSERT_TRUE(browser.ok());
    ASSERT_TRUE(xdotool({"set_window", "--classname", "google-chrome", "--class", "Google-chrome", browser.id()}));
    ASSERT_TRUE(waitFor([&] { return find(windows, browser.pid()).has_value(); }, 20));
    // No desktop entry names it: the owner is WM_CLASS's class.
    EXPECT_EQ(find(windows, browser.pid()), (Windows::Win{browser.pid(), "Google-chrome", meet}));

    TestWindow other(QStringLiteral("Notes"));
    ASSERT_TRUE(other.ok());
    ASSERT_TRUE(xdotool({"set_window", "--classname", "zoom", "--class", "zoom", other.id()}));
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", other.id()}));
    ASSERT_TRUE(waitFor(
        [&] {
            const std::vector<Windows::Win> list = windows.list();
            const int front = indexOf(list, other.pid()), back = indexOf(list, browser.pid());
            return front >= 0 && back > front;
        },
        20));
    ASSERT_TRUE(waitFor([&] { return windows.frontApp() && windows.frontApp()->pid == other.pid(); }, 20));
    EXPECT_EQ(windows.frontApp(), (Windows::App{other.pid(), "zoom", "zoom"}));
    EXPECT_EQ(windows.frontTitle(browser.pid()), meet);

    // A desktop entry that claims the window's class gives its id and name.
    const QString apps = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    ASSERT_TRUE(QDir().mkpath(apps));
    writeFile(apps + "/google-chrome.desktop",
              "[Desktop Entry]\nType=Application\nName=Google Chrome\nName[de]=Chrome\nStartupWMClass=Google-chrome\n"
              "[Desktop Action new-window]\nName=New Window\n");
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", browser.id()}));
    ASSERT_TRUE(waitFor([&] { return windows.frontApp() && windows.frontApp()->pid == browser.pid(); }, 20));
    EXPECT_EQ(windows.frontApp(), (Windows::App{browser.pid(), "google-chrome", "Google Chrome"}));
    EXPECT_EQ(find(windows, browser.pid())->owner, "Google Chrome");

    // Minimised: no longer on screen, still running.
    ASSERT_TRUE(xdotool({"windowminimize", "--sync", other.id()}));
    ASSERT_TRUE(waitFor([&] { return !find(windows, other.pid()); }, 20));
    EXPECT_TRUE(runs(windows, other.pid()));
    EXPECT_TRUE(runs(windows, browser.pid()));
}

TEST(XWindows, WithoutAWindowManagerTheTopLevelWindowsCount)
{
    PrivateX x;
    ASSERT_TRUE(x.ok());
    XWindows windows(x.display());
    EXPECT_TRUE(windows.list().empty());
    TestWindow window(QStringLiteral("Zoom Meeting"), x.display());
    ASSERT_TRUE(window.ok());
    ASSERT_TRUE(waitFor([&] { return find(windows, window.pid()).has_value(); }, 20));
    EXPECT_EQ(find(windows, window.pid())->title, "Zoom Meeting");
    EXPECT_TRUE(runs(windows, window.pid()));
    EXPECT_EQ(windows.frontApp(), std::nullopt); // nobody keeps an active window

    // The display goes away under an open connection.
    x.kill();
    EXPECT_TRUE(windows.list().empty());
    EXPECT_TRUE(windows.runningApps().empty());
    EXPECT_EQ(windows.frontApp(), std::nullopt);
}

TEST(XWindows, NoDisplayGivesEmptyAnswers)
{
    XWindows windows(QStringLiteral(":4095"));
    EXPECT_TRUE(windows.list().empty());
    EXPECT_TRUE(windows.runningApps().empty());
    EXPECT_EQ(windows.frontApp(), std::nullopt);
    EXPECT_EQ(windows.frontTitle(1), std::nullopt);
}

} // namespace
