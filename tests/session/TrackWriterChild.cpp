// Writes a 440 Hz track until it is killed; says "written" once three seconds
// are in. The crash-safety test kills it with SIGKILL.
#include "AudioFixture.h"
#include "session/MonoWriter.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    MonoWriter writer(QString::fromLocal8Bit(argv[1]));
    for (int i = 0;; ++i) {
        writer.write(tone(
                         48000, 1, 0.1, 440, 0.2f, [](double) { return true; }, i * 0.1),
                     i * 0.1);
        if (i == 30) {
            std::printf("written\n");
            std::fflush(stdout);
        }
        if (i >= 30)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
