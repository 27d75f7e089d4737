#include "activity/CallDetector.h"
#include "platform/DesktopHelpers.h"
#include "platform/TestWindow.h"

#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

const QString meet = QStringLiteral("Meet - abc-defg-hij - Google Chrome");

TEST(CallDetectorDesktop, NamesAMeetCallInABrowserWindow)
{
    TestWindow browser(meet);
    ASSERT_TRUE(browser.ok());
    ASSERT_TRUE(
        run("xdotool", {"set_window", "--classname", "google-chrome", "--class", "Google-chrome", browser.id()}));
    ASSERT_TRUE(run("xdotool", {"windowactivate", "--sync", browser.id()}));
    const std::optional<CallHit> expected = CallHit{"Google Meet", meet};
    // In front.
    ASSERT_TRUE(waitFor([&] { return CallDetector::identify() == expected; }, 20))
        << CallDetector::identify()->app.toStdString();

    // Behind another window, with the browser's sound process on the microphone.
    TestWindow notes(QStringLiteral("Notes"));
    ASSERT_TRUE(notes.ok());
    ASSERT_TRUE(run("xdotool", {"windowactivate", "--sync", notes.id()}));
    QProcess capture;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_PROP", "application.id=com.google.Chrome");
    capture.setProcessEnvironment(env);
    capture.setStandardOutputFile(QProcess::nullDevice());
    capture.start("parecord", {"--raw", "--device=vmic"});
    ASSERT_TRUE(capture.waitForStarted(10000));
    ASSERT_TRUE(waitFor([] { return MicUsage::system().othersUsingInput() == true; }, 20));
    EXPECT_EQ(CallDetector::identify(), expected);
    capture.kill();
    capture.waitForFinished(5000);
}

} // namespace
