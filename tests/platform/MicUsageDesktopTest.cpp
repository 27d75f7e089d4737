#include "DesktopHelpers.h"
#include "platform/AppId.h"
#include "platform/CaptureDevices.h"
#include "platform/linux/PulseMicUsage.h"
#include "support/PrivatePulse.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// parecord capturing from a source, with extra stream properties ("key=value;…").
class Capture {
public:
    Capture(const QString& source, const QString& props, const QString& server = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_PROP"), props);
        if (!server.isEmpty())
            env.insert(QStringLiteral("PULSE_SERVER"), server);
        process_.setProcessEnvironment(env);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStringLiteral("parecord"), {"--raw", "--device=" + source});
        process_.waitForStarted(10000);
    }
    ~Capture() { stop(); }
    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    qint32 pid() const { return qint32(process_.processId()); }

private:
    QProcess process_;
};

bool lists(MicUsage& mic, const MicUsage::Proc& proc)
{
    const auto procs = mic.processesUsingInput();
    return procs && std::find(procs->begin(), procs->end(), proc) != procs->end();
}

TEST(PulseMicUsage, TellsOtherApplicationsFromOurOwn)
{
    PulseMicUsage mic;
    ASSERT_TRUE(mic.defaultInputDevice().has_value()); // vmic
    ASSERT_TRUE(waitFor([&] { return mic.othersUsingInput() == false; }, 20));
    EXPECT_EQ(mic.inputRunningSomewhere(), false);

    // Our own capture, through the recorder's microphone source, is tagged as ours.
    auto own = CaptureDevices::system().microphone();
    own->start({.buffer = [](const CaptureBuffer&) {}, .interrupted = [](const QString&) {}});
    const MicUsage::Proc ours{qint32(QCoreApplication::applicationPid()), QString::fromLatin1(appId)};
    ASSERT_TRUE(waitFor([&] { return lists(mic, ours); }, 20));
    EXPECT_EQ(mic.inputRunningSomewhere(), true);
    EXPECT_EQ(mic.othersUsingInput(), false);

    // Another process of ours counts as ours too.
    Capture helper("vmic", QStringLiteral("application.id=") + appId);
    ASSERT_TRUE(waitFor([&] { return lists(mic, {helper.pid(), appId}); }, 20));
    EXPECT_EQ(mic.othersUsingInput(), false);

    Capture zoom("vmic", "application.id=us.zoom.xos");
    ASSERT_TRUE(waitFor([&] { return lists(mic, {zoom.pid(), "us.zoom.xos"}); }, 20));
    EXPECT_EQ(mic.othersUsingInput(), true);

    // A capture of an output's monitor is nobody's use of the microphone.
    Capture monitor("spk.monitor", "application.id=com.obsproject.Studio");
    ASSERT_TRUE(waitFor(
        [&] {
            return run("sh", {"-c", "pactl list source-outputs | grep -q com.obsproject.Studio"});
        },
        20));
    EXPECT_FALSE(lists(mic, {monitor.pid(), "com.obsproject.Studio"}));

    zoom.stop();
    ASSERT_TRUE(waitFor([&] { return mic.othersUsingInput() == false; }, 20));
    own->stop();
    helper.stop();
    ASSERT_TRUE(waitFor([&] { return mic.inputRunningSomewhere() == false; }, 20));
}

TEST(PulseMicUsage, WithoutAnAnswerEveryProbeIsUnknown)
{
    // A sound server of the test's own, to stop under an open connection.
    PrivatePulse server;
    ASSERT_TRUE(server.started());
    const QString socket = server.socket();

    PulseMicUsage mic(QStringLiteral("unix:") + socket);
    ASSERT_TRUE(waitFor([&] { return mic.defaultInputDevice().has_value(); }, 20));
    EXPECT_EQ(mic.defaultInputDevice(), 0u) << "the first source has index 0, a device like any other";
    EXPECT_EQ(mic.inputRunningSomewhere(), false);
    EXPECT_EQ(mic.othersUsingInput(), false);

    // An output's monitor as the default input is no input device.
    ASSERT_TRUE(run("pactl", {"--server=unix:" + socket, "set-default-source", "out.monitor"}));
    EXPECT_EQ(mic.defaultInputDevice(), std::nullopt);
    EXPECT_EQ(mic.inputRunningSomewhere(), false);

    // A server that does not answer: each question gives up, and the next one
    // after it answers again is answered.
    server.pause();
    EXPECT_EQ(mic.processesUsingInput(), std::nullopt);
    EXPECT_EQ(mic.inputRunningSomewhere(), std::nullopt);
    server.resume();
    EXPECT_TRUE(waitFor([&] { return mic.processesUsingInput().has_value(); }, 20));

    server.kill();
    EXPECT_EQ(mic.defaultInputDevice(), std::nullopt);
    EXPECT_EQ(mic.inputRunningSomewhere(), std::nullopt);
    EXPECT_EQ(mic.processesUsingInput(), std::nullopt);
    EXPECT_EQ(mic.othersUsingInput(), std::nullopt);
}

} // namespace
