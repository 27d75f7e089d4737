#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// What the side-by-side benchmarks share: wall time, medians, running the
// command-line peer, and this process's memory.
namespace BenchTools {

// Seconds on the monotonic clock.
double now();
double median(std::vector<double> v);
// Runs a command (looked up in PATH) and waits for it; false when it fails.
bool run(const std::vector<std::string>& args);

// What a command cost, run as a child process so that it can be read on its own.
struct Measured {
    double seconds = 0; // wall-clock
    double cpu = 0;     // user + system seconds
    long maxRssKiB = 0; // peak resident memory
    int status = -1;    // exit status; -1 when it did not start or did not exit
};
Measured measure(const std::vector<std::string>& args);

// A child started and not yet waited for, so that it can be read while it runs.
struct Child {
    pid_t pid = -1; // -1 when it did not start
    double started = 0;
};
// Starts a command (looked up in PATH); with `output`, its standard output and
// error go to that file.
Child spawn(const std::vector<std::string>& args, const std::string& output = {});
// Waits for the child to end and says what it cost over its whole life.
Measured finish(const Child& child);
// User + system seconds a running process and the children it waited for have
// used so far; -1 when it is gone.
double cpuOf(pid_t pid);
// cpuOf of a process and of every descendant still running: what the whole
// process tree has used so far; -1 when the process is gone.
double treeCpuOf(pid_t pid);
// One thread of a running process and the user + system seconds it has used.
struct ThreadCpu {
    pid_t tid = -1;
    std::string name;
    double cpu = 0;
};
std::vector<ThreadCpu> threadsOf(pid_t pid);
// A line of /proc/<pid>/status in KiB, as statusKiB; -1 when missing.
long statusKiBOf(pid_t pid, const char* key);
// A line of /proc/self/status in KiB: "VmHWM:" (peak resident), "VmRSS:"; -1 when missing.
long statusKiB(const char* key);
// Starts the peak resident size afresh from the current size.
void resetPeak();

// The command a user would record with instead: ffmpeg with the recorder's
// settings (a frame every 2 s from the X display scaled to 1440 wide as JPEG,
// system sound and microphone as mono 48 kHz AAC at 64 kb/s), for `seconds`,
// into `folder` (frames as "%04d.jpg", "system.m4a", "mic.m4a").
std::vector<std::string> ffmpegPeer(const std::string& display, const std::string& size, const std::string& monitor,
                                    const std::string& microphone, const std::string& seconds,
                                    const std::string& folder);

} // namespace BenchTools
