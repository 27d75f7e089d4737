#pragma once

#include <string>
#include <vector>

// The other side of a benchmark, or ours, run as a child process so that what it
// costs can be read on its own.
namespace Child {

struct Run {
    double seconds = 0; // wall-clock
    double cpu = 0;     // user + system seconds
    long maxRssKiB = 0; // peak resident memory
    int status = -1;    // exit status; -1 when it did not start or did not exit
};

// Runs the command (looked up on PATH) and waits for it.
Run run(const std::vector<std::string>& args);

} // namespace Child
