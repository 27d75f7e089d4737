#include "session/LevelReader.h"
#include "session/Mixer.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

// A recording killed mid-write keeps the sound up to its last fragment.
TEST(CrashSafety, KilledWriterLeavesADecodableTrack)
{
    TempSupport dir;
    const QString path = dir.file("system.m4a");
    QProcess child;
    child.start(ZELVAN_TRACK_WRITER, {path});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(child.waitForReadyRead(60000));
    EXPECT_EQ(child.readLine().trimmed(), "written");
    child.kill(); // SIGKILL: no destructor, no trailer
    ASSERT_TRUE(child.waitForFinished());
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    const auto levels = LevelReader::levels(path);
    ASSERT_GE(levels.size(), 8u); // at least two whole one-second fragments
    for (size_t i = 1; i + 1 < levels.size(); ++i)
        EXPECT_NEAR(levels[i], 0.1414f, 0.01f) << "window " << i;
    EXPECT_NEAR(Mixer::duration(path), double(levels.size()) * 0.25, 0.3);
}
