#pragma once

#include <QStringList>

// `zelvan --rec-test [SECONDS]`: records a throw-away session of the screen and
// the system audio for a few seconds, stops it and reports in the log, so that a
// user can see that recording works on this machine.
namespace RecTest {

// The number after "--rec-test" when there is one and it is a finite number of at
// least 0 seconds; 5 otherwise.
double seconds(const QStringList& args);

// Records, stops and reports; the process's exit status (0 when the recording
// started). Blocks for the whole recording: call it off the main thread.
int run(double seconds);

} // namespace RecTest
