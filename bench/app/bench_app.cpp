// The whole application on the private desktop: a minute idle in the tray, then a
// minute recording with the panel showing, its CPU time and peak memory read from
// /proc; beside the recording minute, in the same run, the bare recorder of
// bench_record records the same desktop, so that what the application adds on top
// of the capture can be told apart from the capture itself.
//
// The machine is shared and noisy: the ratios count, not the absolute figures.
// Run it inside the private desktop (`make bench`).
//
//   bench_app [--seconds N]
#include "BenchTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

// User and system seconds of a running process.
double cpuOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks: count the fields after its closing parenthesis.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return -1;
    return double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// A line of /proc/<pid>/status in KiB, or -1.
long statusOf(qint64 pid, const char* key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void line(const char* name, double cpu, double seconds, long peakKiB)
{
    std::printf("  %-22s %6.2f CPU s = %5.2f %% of one core", name, cpu, 100.0 * cpu / seconds);
    if (peakKiB >= 0)
        std::printf(", peak RSS %6.1f MB", double(peakKiB) / 1024.0);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--seconds")
            seconds = std::max(10.0, std::atof(argv[i + 1]));
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_app needs the private desktop: make bench\n");
        return 1;
    }

    QTemporaryDir dir;
    QProcess zelvan;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELVAN_SUPPORT_DIR", dir.filePath("support"));
    env.insert("ZELVAN_DEFAULTS_SUITE", "bench-app");
    zelvan.setProcessEnvironment(env);
    zelvan.setProcessChannelMode(QProcess::ForwardedChannels);
    zelvan.start(ZELVAN_EXECUTABLE, {});
    if (!zelvan.waitForStarted(30'000)) {
        std::fprintf(stderr, "zelvan did not start\n");
        return 1;
    }
    // The process re-executes itself once at start; let it settle into the tray.
    pause(10);
    const qint64 pid = zelvan.processId();

    std::printf("bench_app: %.0f s idle in the tray, then %.0f s recording with the panel showing\n", seconds, seconds);
    std::fflush(stdout);
    const double idleFrom = cpuOf(pid);
    pause(seconds);
    const double idle = cpuOf(pid) - idleFrom;

    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    pause(3); // the capture starts
    QDir().mkpath(dir.filePath("bare"));
    BenchTools::Measured bare;
    std::thread side([&] {
        bare = BenchTools::measure(
            {BENCH_RECORD, "--child", "full", std::to_string(seconds), dir.filePath("bare").toStdString()});
    });
    const double recFrom = cpuOf(pid);
    pause(seconds);
    const double recording = cpuOf(pid) - recFrom;
    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    side.join();
    pause(10); // the stop: mixing and saving
    const long peak = statusOf(pid, "VmHWM:");

    zelvan.terminate();
    zelvan.waitForFinished(60'000);

    line("zelvan, idle:", idle, seconds, -1);
    line("zelvan, recording:", recording, seconds, peak);
    // The bare recorder notes how much of its time went on recording, before its stop.
    double bareRecording = bare.cpu;
    QFile split(dir.filePath("bare/cpu.txt"));
    if (split.open(QIODevice::ReadOnly))
        bareRecording = split.readAll().split(' ').value(0).toDouble();
    line("bare recorder:", bareRecording, seconds, bare.maxRssKiB);
    std::printf("  the application over the bare recorder: %.2f %% of one core (target under 2 %%); idle target under "
                "0.5 %%, peak RSS under 200 MB\n",
                100.0 * (recording - bareRecording) / seconds);
    return 0;
}
