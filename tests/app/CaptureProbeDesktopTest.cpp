#include "app/AppPorts.h"
#include "support/PrivatePulse.h"
#include "support/TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

// Before a recording the controller asks the sound server for a microphone. On a
// crowded machine the answer can be slow, and slow is not "no microphone": that
// would ask the user to record without their voice.
TEST(CaptureProbeDesktop, TheMicrophoneCheckWaitsForASlowSoundServer)
{
    PrivatePulse server;
    ASSERT_TRUE(server.started());
    qputenv("PULSE_SERVER", server.address().toUtf8());
    Ports::Capture& capture = Ports::Capture::system();
    ASSERT_TRUE(waitFor([&] { return capture.micAvailable(); }, 20));

    server.pause();
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        server.resume();
    });
    EXPECT_TRUE(capture.micAvailable());
    later.join();

    server.kill();
    EXPECT_FALSE(capture.micAvailable());
}
