#include "BenchTools.h"

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace BenchTools {

namespace {

long readStatusKiB(const std::string& path, const char* key)
{
    std::ifstream status(path);
    const std::string prefix = key;
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// The sum of the CPU fields of a stat file from utime up to field `last`, in
// seconds; -1 when the file cannot be read.
double statTicks(const std::string& path, int last)
{
    std::ifstream stat(path);
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // Fields 14 to `last` of the whole line: utime, stime, then cutime, cstime, in clock ticks.
    double ticks = 0;
    for (int i = 3; i <= last && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

} // namespace

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
    return finish(spawn(args));
}

Child spawn(const std::vector<std::string>& args, const std::string& output)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child child;
    child.started = now();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        child.pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

Measured finish(const Child& child)
{
    Measured m;
    if (child.pid < 0)
        return m;
    struct rusage usage {};
    int status = 0;
    if (wait4(child.pid, &status, 0, &usage) < 0)
        return m;
    m.seconds = now() - child.started;
    m.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.maxRssKiB = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

double cpuOf(pid_t pid)
{
    return statTicks("/proc/" + std::to_string(pid) + "/stat", 17);
}

double treeCpuOf(pid_t pid)
{
    double total = cpuOf(pid);
    if (total < 0)
        return -1;
    // Live children are not in their parent's figures until it waits for them;
    // each thread lists the children it started.
    for (const ThreadCpu& t : threadsOf(pid)) {
        std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(t.tid) + "/children");
        pid_t child = 0;
        while (children >> child) {
            const double c = treeCpuOf(child);
            if (c > 0)
                total += c;
        }
    }
    return total;
}

std::vector<ThreadCpu> threadsOf(pid_t pid)
{
    std::vector<ThreadCpu> out;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return out;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        const std::string task = tasks + '/' + entry->d_name;
        ThreadCpu t;
        t.tid = pid_t(std::stol(entry->d_name));
        t.cpu = statTicks(task + "/stat", 15);
        std::ifstream comm(task + "/comm");
        std::getline(comm, t.name);
        if (t.cpu >= 0)
            out.push_back(t);
    }
    closedir(dir);
    return out;
}

long statusKiB(const char* key)
{
    return readStatusKiB("/proc/self/status", key);
}

long statusKiBOf(pid_t pid, const char* key)
{
    return readStatusKiB("/proc/" + std::to_string(pid) + "/status", key);
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::vector<std::string> ffmpegPeer(const std::string& display, const std::string& size, const std::string& monitor,
                                    const std::string& microphone, const std::string& seconds, const std::string& folder)
{
    std::vector<std::string> args{"ffmpeg",
                                  "-loglevel",
                                  "error",
                                  "-y",
                                  "-f",
                                  "x11grab",
                                  "-framerate",
                                  "0.5",
                                  "-draw_mouse",
                                  "1",
                                  "-video_size",
                                  size,
                                  "-i",
                                  display,
                                  "-f",
                                  "pulse",
                                  "-i",
                                  monitor,
                                  "-f",
                                  "pulse",
                                  "-i",
                                  microphone,
                                  "-map",
                                  "0:v",
                                  "-vf",
                                  "scale=1440:-2",
                                  "-q:v",
                                  "5",
                                  "-t",
                                  seconds,
                                  folder + "/%04d.jpg"};
    for (const auto& [input, name] : {std::pair{"1:a", "system.m4a"}, std::pair{"2:a", "mic.m4a"}})
        for (const std::string& a :
             {std::string("-map"), std::string(input), std::string("-ac"), std::string("1"), std::string("-ar"),
              std::string("48000"), std::string("-c:a"), std::string("aac"), std::string("-b:a"), std::string("64k"),
              std::string("-t"), seconds, folder + "/" + name})
            args.push_back(a);
    return args;
}

} // namespace BenchTools
