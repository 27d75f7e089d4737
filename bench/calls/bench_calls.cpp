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

// Every probe once, as an idle poll with the microphone in use does.
int pollOnce()
{
    MicUsage& mic = MicUsage::system();
    Windows& windows = Windows::system();
    int found = 0;
    found += mic.defaultInputDevice().has_value();
    found += mic.inputRunningSomewhere().value_or(false);
    found += mic.othersUsingInput().value_or(false);
    found += int(windows.list().size());
    found += windows.frontApp().has_value();
    found += int(windows.runningApps().size());
    found += CallDetector::identify().has_value();
    return found;
}

// The same questions on the command line.
bool pollWithTools()
{
    return BenchTools::run({"pactl", "info"}) && BenchTools::run({"pactl", "list", "sources"})
        && BenchTools::run({"pactl", "list", "source-outputs"})
        && BenchTools::run({"xprop", "-root", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST"});
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
    for (int i = 0; i < polls; ++i) {
        double t = BenchTools::now();
        pollOnce();
        ours.push_back(BenchTools::now() - t);
        if (i % 10 == 0) { // the tools are slow; fewer of them give the same median
            t = BenchTools::now();
            if (!pollWithTools())
                std::fprintf(stderr, "a command-line tool failed\n");
            tools.push_back(BenchTools::now() - t);
        }
    }
    for (auto& p : captures) {
        p->kill();
        p->waitForFinished(5000);
    }
    const double a = BenchTools::median(ours) * 1000, b = BenchTools::median(tools) * 1000;
    std::printf("one poll, %d things found: ours %.3f ms   pactl + xprop %.3f ms   ratio %.3f\n", found, a, b, a / b);
    return 0;
}
