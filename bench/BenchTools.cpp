#include "BenchTools.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace BenchTools {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool run(const std::vector<std::string>& args)
{
    return measure(args).status == 0;
}

Measured measure(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Measured m;
    const double start = now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return m;
    struct rusage usage {};
    int status = 0;
    if (wait4(pid, &status, 0, &usage) < 0)
        return m;
    m.seconds = now() - start;
    m.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.maxRssKiB = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

long statusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    const std::string prefix = key;
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace BenchTools
