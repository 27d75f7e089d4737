// The whole application, run as a user runs it: a minute idle in the tray, then a
// minute recording with its panel on screen, started and stopped with Ctrl+Alt+R.
// While it records, bench_record's bare recorder (the same recorder, text
// recognition included, with no application around it) records the same screen
// and sound in a child process of its own, so that the application's cost over
// the recorder can be read from one window of time:
//
//   app            zelvan on a throw-away support folder and settings suite
//   bare recorder  bench_record --child full
//
// A moving picture stays on screen and a sound plays on the speaker and on the
// microphone throughout. CPU seconds come from /proc for each phase, peak memory
// from the children's resource usage. The machine is shared and noisy: the
// difference between the two sides counts, not the absolute figures. Run it
// inside the private desktop (`make bench`).
//
//   bench_app [--seconds N]
#include "core/Settings.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "BenchTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>
#include <unistd.h>

namespace {

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Polls `done` every 100 ms for up to `seconds`.
bool waitFor(const std::function<bool()>& done, double seconds)
{
    const double until = BenchTools::now() + seconds;
    while (!done()) {
        if (BenchTools::now() > until)
            return false;
        pause(0.1);
    }
    return true;
}

QString output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The live session under `folder`: a session folder whose lock a recorder holds.
QString liveSession(const QString& folder)
{
    for (const QString& name : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = folder + u'/' + name;
        if (SessionLock::isLocked(dir))
            return dir;
    }
    return {};
}

// The windows of a process that are on screen.
int visibleWindows(pid_t pid)
{
    const QString ids = output("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    return ids.isEmpty() ? 0 : int(ids.split(u'\n').size());
}

void stop(BenchTools::Child& child)
{
    if (child.pid < 0)
        return;
    ::kill(child.pid, SIGTERM);
    BenchTools::finish(child);
    child.pid = -1;
}

// The CPU a process used between two readings, as seconds and as a share of one core.
struct Usage {
    double cpu = 0;
    double wall = 0;
    double percent() const { return wall > 0 ? 100.0 * cpu / wall : 0; }
};

struct Reading {
    double at = 0;
    double app = 0;
    double bare = 0;
};

Reading read(pid_t app, pid_t bare = -1)
{
    return {BenchTools::now(), BenchTools::cpuOf(app), bare < 0 ? 0 : BenchTools::cpuOf(bare)};
}

// Where a process's CPU went between two lists of its threads: seconds by
// thread name (threads of one name added up, the main thread as "main"),
// largest first.
std::vector<std::pair<std::string, double>> byThread(pid_t pid, const std::vector<BenchTools::ThreadCpu>& from,
                                                     const std::vector<BenchTools::ThreadCpu>& to)
{
    std::map<std::string, double> sums;
    for (const auto& t : to) {
        double before = 0;
        for (const auto& f : from)
            if (f.tid == t.tid)
                before = f.cpu;
        // Threads nobody named carry the program's name: the main thread is told apart.
        sums[t.tid == pid ? std::string("main") : t.name] += t.cpu - before;
    }
    std::vector<std::pair<std::string, double>> out(sums.begin(), sums.end());
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return out;
}

void printThreads(const char* side, const std::vector<std::pair<std::string, double>>& threads, double wall)
{
    std::printf("  %14s", side);
    for (size_t i = 0; i < threads.size() && i < 6; ++i)
        std::printf("%s %s %.2f %%", i ? "," : "", threads[i].first.c_str(), 100.0 * threads[i].second / wall);
    std::printf("\n");
}

// The application's own settings suite, whose file goes when the run ends,
// whichever way it ends.
struct ThrowAwaySuite {
    const QString name = QStringLiteral("bench-app-") + QString::number(getpid());
    ~ThrowAwaySuite() { Settings::removeSuite(name); }
};

int fail(const char* what, const QString& log = {})
{
    std::fprintf(stderr, "bench_app: %s\n", what);
    QFile file(log);
    if (!log.isEmpty() && file.open(QIODevice::ReadOnly))
        std::fprintf(stderr, "--- the application's output\n%s\n", file.readAll().right(4000).constData());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--seconds")
            seconds = std::max(5.0, std::atof(argv[i + 1]));
    const QString geometry = output("xdotool", {"getdisplaygeometry"}).replace(u' ', u'x');
    if (qEnvironmentVariableIsEmpty("DISPLAY") || geometry.isEmpty())
        return fail("needs the private desktop: make bench");

    QTemporaryDir dir;
    const ThrowAwaySuite suite;
    const QString support = dir.filePath("app"), bare = dir.filePath("bare"), appLog = dir.filePath("app.log");
    QDir(dir.path()).mkpath("bare/sessions");

    // Sound for the whole run, the two sides taking turns as in a call.
    const QString tab = dir.filePath("tab.wav"), mic = dir.filePath("mic.wav");
    const QString length = QString::number(2 * seconds + 120);
    BenchTools::run({"sox",  "-n",  "-r",   "48000", "-c",    "1", tab.toStdString(), "synth", length.toStdString(),
                     "sine", "220", "sine", "330",   "remix", "1", "tremolo",         "0.125", "100",
                     "vol",  "0.4"});
    BenchTools::run({"sox", "-n", "-r", "48000", "-c", "1", mic.toStdString(), "synth", length.toStdString(), "sine",
                     "180", "tremolo", "0.125", "100", "vol", "0.4", "delay", "4"});
    const std::string quiet = dir.filePath("players.log").toStdString();
    BenchTools::Child picture =
        BenchTools::spawn({"ffplay", "-loglevel", "quiet", "-an", "-window_title", "Moving picture", "-f", "lavfi",
                           "-i", "life=size=160x90:rate=5:ratio=0.3:mold=10,scale=1280:720:flags=neighbor"},
                          quiet);
    BenchTools::Child speaker = BenchTools::spawn({"paplay",
                                                   "--device=" + output("pactl", {"get-default-sink"}).toStdString(),
                                                   tab.toStdString()},
                                                  quiet);
    BenchTools::Child talker = BenchTools::spawn({"paplay", "--device=micfeed", mic.toStdString()}, quiet);
    BenchTools::Child app, recorder;
    const auto cleanUp = [&] {
        for (BenchTools::Child* c : {&app, &recorder, &picture, &speaker, &talker})
            stop(*c);
    };

    std::printf("bench_app: %.0f s idle in the tray, then %.0f s recording with the panel showing, beside the bare "
                "recorder\n  a %s desktop with a moving picture, a sound on the speaker and another on the "
                "microphone\n",
                seconds, seconds, qPrintable(geometry));
    std::fflush(stdout);

    app = BenchTools::spawn({"env", "ZELVAN_SUPPORT_DIR=" + support.toStdString(),
                             "ZELVAN_DEFAULTS_SUITE=" + suite.name.toStdString(), ZELVAN_EXECUTABLE},
                            appLog.toStdString());
    const auto logged = [&](const QByteArray& text) {
        QFile log(support + "/zelvan.log");
        return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
    };
    if (!waitFor([&] { return logged("launched "); }, 120)) {
        cleanUp();
        return fail("the application did not launch", appLog);
    }
    // What it does once at launch (recovery, the first look at the windows) is not idling.
    pause(10);
    const int idleWindows = visibleWindows(app.pid);
    const Reading idleFrom = read(app.pid);
    pause(seconds);
    const Reading idleTo = read(app.pid);
    const long appPeakIdle = BenchTools::statusKiBOf(app.pid, "VmHWM:");
    const Usage idle{idleTo.app - idleFrom.app, idleTo.at - idleFrom.at};

    // Both start recording together; the bare recorder's minute has room for the
    // application's start on either side of the measured window.
    const double margin = 30;
    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    recorder = BenchTools::spawn({"env", "ZELVAN_SUPPORT_DIR=" + bare.toStdString(), BENCH_RECORD, "--child", "full",
                                  std::to_string(seconds + margin), (bare + "/sessions").toStdString()},
                                 dir.filePath("bare.log").toStdString());
    QString session;
    if (!waitFor([&] { return !(session = liveSession(support + "/recordings")).isEmpty(); }, 60)) {
        cleanUp();
        return fail("Ctrl+Alt+R started no recording", appLog);
    }
    if (!waitFor([&] { return !liveSession(bare + "/sessions").isEmpty(); }, 60)) {
        cleanUp();
        return fail("the bare recorder did not start");
    }
    pause(3); // both past their start
    const int recordingWindows = visibleWindows(app.pid);
    const auto appThreadsFrom = BenchTools::threadsOf(app.pid), bareThreadsFrom = BenchTools::threadsOf(recorder.pid);
    const Reading recFrom = read(app.pid, recorder.pid);
    pause(seconds);
    const Reading recTo = read(app.pid, recorder.pid);
    const auto appThreads = byThread(app.pid, appThreadsFrom, BenchTools::threadsOf(app.pid));
    const auto bareThreads = byThread(recorder.pid, bareThreadsFrom, BenchTools::threadsOf(recorder.pid));
    const Usage appRec{recTo.app - recFrom.app, recTo.at - recFrom.at};
    const Usage bareRec{recTo.bare - recFrom.bare, recTo.at - recFrom.at};
    const long appPeakRecording = BenchTools::statusKiBOf(app.pid, "VmHWM:");

    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    const bool stopped = waitFor([&] { return !SessionLock::isLocked(session); }, 120);
    const Reading savedAt = read(app.pid);
    const int afterWindows = visibleWindows(app.pid);
    const BenchTools::Measured bareAll = BenchTools::finish(recorder);
    recorder.pid = -1;
    ::kill(app.pid, SIGTERM);
    const BenchTools::Measured appAll = BenchTools::finish(app);
    app.pid = -1;
    cleanUp();

    // What each side kept, to show that both recorded the same.
    if (auto kept = Session::load(session)) {
        const SessionMeta& m = kept->meta();
        std::printf("    %-16s %zu screenshots, %zu text entries, %zu tab spans, %zu mic spans, mic=%s\n",
                    "app:", m.shots.size(), m.ocr ? m.ocr->size() : 0, m.levelsTab.size(), m.levelsMic.size(),
                    m.micOk ? "yes" : "no");
    }
    QFile bareLog(dir.filePath("bare.log"));
    if (bareLog.open(QIODevice::ReadOnly))
        for (const QByteArray& line : bareLog.readAll().split('\n'))
            if (line.contains("ours, full:"))
                std::printf("%s\n", QByteArray(line).replace("ours, full:", "bare recorder:").constData());
    std::printf("  the panel: %d window(s) of the application on screen idle, %d recording, %d after\n", idleWindows,
                recordingWindows, afterWindows);
    std::printf("  idle           app %6.2f CPU s in %3.0f s = %5.2f %% of one core   (target < 0.5 %%)\n", idle.cpu,
                idle.wall, idle.percent());
    std::printf("  recording      app %6.2f CPU s in %3.0f s = %5.2f %% of one core\n", appRec.cpu, appRec.wall,
                appRec.percent());
    std::printf("                bare %6.2f CPU s in %3.0f s = %5.2f %% of one core\n", bareRec.cpu, bareRec.wall,
                bareRec.percent());
    std::printf("  by thread, %% of one core while recording:\n");
    printThreads("app", appThreads, appRec.wall);
    printThreads("bare", bareThreads, bareRec.wall);
    std::printf("  app over bare recorder while recording: %5.2f %% of one core   (target < 2 %%)\n",
                appRec.percent() - bareRec.percent());
    std::printf("  stopping       app %6.2f CPU s%s\n", savedAt.app - recTo.app,
                stopped ? "" : "   (the recording did not stop)");
    std::printf(
        "  peak RSS       app %6.1f MB (%.1f MB idle, %.1f MB by the end of the recording)   (target < 200 MB)\n",
        double(std::max(appAll.maxRssKiB, appPeakRecording)) / 1024.0, double(appPeakIdle) / 1024.0,
        double(appPeakRecording) / 1024.0);
    std::printf("                bare %6.1f MB\n", double(bareAll.maxRssKiB) / 1024.0);
    std::printf("  whole run      app %6.2f CPU s in %3.0f s, exit %d; bare %6.2f CPU s in %3.0f s, exit %d\n",
                appAll.cpu, appAll.seconds, appAll.status, bareAll.cpu, bareAll.seconds, bareAll.status);
    return stopped && appAll.status == 0 && bareAll.status == 0 ? 0 : 1;
}
