// One poll of the call detector's probes (who uses the microphone, the default
// input's state, the window list, the front and the running applications),
// ours against the command lines a user would ask the same with (pactl, xprop),
// in one run on the same desktop. Times are wall-clock medians; the machine is
// shared, so the ratio is what counts. Runs inside a desktop session with a
// sound server and an X display; it shows a few windows and starts two captures
// of its own so that there is something to find.
//
//   bench_calls [--polls N]
#include "activity/CallDetector.h"
#include "BenchTools.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRasterWindow>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cstring>
#include <memory>

namespace {

void settle(double seconds)
{
    const double until = BenchTools::now() + seconds;
    while (BenchTools::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

// Every probe once, as the detector's idle poll asks them when a call starts:
// the other users of the microphone, then the call's name (the window list, the
// input users, the front and the running applications).
int pollOnce()
{
    int found = MicUsage::system().othersUsingInput().value_or(false);
    found += CallDetector::identify().has_value();
    return found;
}

// The same questions on the command line, their output thrown away.
bool pollWithTools()
{
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    const bool ok = BenchTools::run({"pactl", "info"}) && BenchTools::run({"pactl", "list", "sources"})
        && BenchTools::run({"pactl", "list", "source-outputs"})
        && BenchTools::run({"xprop", "-root", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST"});
    ::dup2(saved, 1);
    ::close(saved);
    ::close(null);
    return ok;
}

// Processor time of this process (all its threads) and of its ended children.
double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double childCpuSeconds()
{
    return cpuSeconds(RUSAGE_CHILDREN);
}

// The median time of one probe alone, in milliseconds.
template <class Probe>
double timeOf(Probe probe, int runs)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double start = BenchTools::now();
        probe();
        t.push_back(BenchTools::now() - start);
    }
    return BenchTools::median(t) * 1000;
}

} // namespace

int main(int argc, char** argv)
{
    int polls = 200;
    if (argc == 3 && std::strcmp(argv[1], "--polls") == 0)
        polls = std::atoi(argv[2]);
    QGuiApplication app(argc, argv);

    std::vector<std::unique_ptr<QRasterWindow>> shown;
    for (const char* title : {"Inbox (3) - Gmail", "Notes", "Terminal", "Meet - abc-defg-hij - Google Chrome", "Docs"}) {
        shown.push_back(std::make_unique<QRasterWindow>());
        shown.back()->setTitle(QString::fromUtf8(title));
        shown.back()->resize(300, 200);
        shown.back()->show();
    }
    std::vector<std::unique_ptr<QProcess>> captures;
    for (const char* id : {"us.zoom.xos", "com.google.Chrome"}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_PROP", QStringLiteral("application.id=") + id);
        p->setProcessEnvironment(env);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start("parecord", {"--raw"});
        captures.push_back(std::move(p));
    }
    settle(2);

    const int found = pollOnce(); // connections opened, desktop entries read
    std::vector<double> ours, tools;
    double oursCpu = 0, toolsCpu = 0;
    for (int i = 0; i < polls; ++i) {
        double t = BenchTools::now();
        const double cpu = cpuSeconds();
        pollOnce();
        oursCpu += cpuSeconds() - cpu;
        ours.push_back(BenchTools::now() - t);
        if (i % 10 == 0) { // the tools are slow; fewer of them give the same median
            t = BenchTools::now();
            const double before = childCpuSeconds();
            if (!pollWithTools())
                std::fprintf(stderr, "a command-line tool failed\n");
            toolsCpu += childCpuSeconds() - before;
            tools.push_back(BenchTools::now() - t);
        }
    }
    const double a = BenchTools::median(ours) * 1000, b = BenchTools::median(tools) * 1000;
    std::printf("one poll, %d things found: ours %.3f ms   pactl + xprop %.3f ms   ratio %.3f\n", found, a, b, a / b);
    const double ca = oursCpu / polls * 1000, cb = toolsCpu / double(tools.size()) * 1000;
    std::printf("  processor time per poll: ours %.3f ms   pactl + xprop %.3f ms   ratio %.3f\n", ca, cb, ca / cb);
    MicUsage& mic = MicUsage::system();
    Windows& windows = Windows::system();
    std::printf("  alone: processes using input %.3f ms, input running %.3f ms, window list %.3f ms, front %.3f ms, "
                "running apps %.3f ms, identify %.3f ms\n",
                timeOf([&] { mic.processesUsingInput(); }, polls), timeOf([&] { mic.inputRunningSomewhere(); }, polls),
                timeOf([&] { windows.list(); }, polls), timeOf([&] { windows.frontApp(); }, polls),
                timeOf([&] { windows.runningApps(); }, polls), timeOf([] { CallDetector::identify(); }, polls));
    for (auto& p : captures) {
        p->kill();
        p->waitForFinished(5000);
    }
    return 0;
}
