// A minute of recording the desktop, ours against the ffmpeg command line, side by
// side in the same run: a full-screen slide that changes every 10 s, a sound on
// the speaker and another on the microphone. Three recorders run at once, each in
// a child process of its own so that its CPU time and peak memory can be read:
//
//   ours, full        the recorder as the app runs it, text recognition included
//   ours, capture     the same with text recognition switched off
//   ffmpeg            x11grab at the same rate and width, JPEG frames, both Pulse
//                     sources to mono AAC at 64 kbit/s
//
// The machine is shared and noisy: the ratios count, not the absolute figures.
// Run it inside the private desktop (`make bench`).
//
//   bench_record [--seconds N]
#include "core/Log.h"
#include "session/Recorder.h"
#include "session/Session.h"
#include "BenchTools.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

// This process's user and system seconds so far.
double cpuSeconds()
{
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QString command(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// One side of the comparison: records for `seconds` into `dir` and prints what it kept.
int child(bool recognise, double seconds, const QString& dir, int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto session = Session::create(QStringLiteral("Benchmark"), QStringLiteral("Screen"), std::nullopt, std::nullopt,
                                   dir);
    Recorder::TextReader reader;
    if (!recognise)
        reader = [](const QImage&, bool) { return OCR::Reading{}; };
    auto recorder = Recorder::create(session, CaptureDevices::system(), reader);
    try {
        recorder->start(true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "recorder did not start: %s\n", e.what());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double recording = cpuSeconds();
    const SessionMeta meta = recorder->stop()->meta();
    // What the parent cannot read from outside: the split between recording and stopping.
    QFile usage(dir + QStringLiteral("/cpu.txt"));
    if (usage.open(QIODevice::WriteOnly))
        usage.write(QByteArray::number(recording) + ' ' + QByteArray::number(cpuSeconds() - recording));
    std::printf("    %-16s %zu screenshots, %zu text entries, %zu tab spans, %zu mic spans, mic=%s\n",
                recognise ? "ours, full:" : "ours, capture:", meta.shots.size(), meta.ocr ? meta.ocr->size() : 0,
                meta.levelsTab.size(), meta.levelsMic.size(), meta.micOk ? "yes" : "no");
    slogFlush();
    return 0;
}

// A slide: a title and a few lines of its own, dark and light slides taking turns.
void showSlide(QLabel& label, int n)
{
    static const char* slides[][3] = {
        {"Quarterly results", "Revenue grew in every region", "Churn fell for the third quarter"},
        {"Hiring plan", "Two engineers and a designer", "Interviews start next month"},
        {"Office move", "Boxes packed by the 14th", "Desks assigned by team"},
        {"Product roadmap", "Search ships in spring", "Offline mode follows in summer"},
        {"Support backlog", "Ninety tickets older than a week", "Weekend rota for the launch"},
        {"Budget review", "Travel is over by a fifth", "Cloud costs are on plan"},
        {"Launch checklist", "Press kit approved", "Status page and runbook ready"},
    };
    const int i = n % 7;
    label.setStyleSheet(n % 2 ? QStringLiteral("background: #1d3557; color: #f1faee;")
                              : QStringLiteral("background: #f1faee; color: #1d3557;"));
    label.setText(QStringLiteral("<h1 style='font-size:80px'>%1</h1><p style='font-size:44px'>%2<br>%3</p>")
                      .arg(slides[i][0], slides[i][1], slides[i][2]));
}

void report(const char* name, const BenchTools::Measured& u, double seconds, const QString& dir = {})
{
    std::printf("  %-14s %6.2f CPU s = %5.2f per recorded minute = %5.2f %% of one core, peak RSS %6.1f MB%s\n", name,
                u.cpu, u.cpu * 60.0 / seconds, 100.0 * u.cpu / u.seconds, double(u.maxRssKiB) / 1024.0,
                u.status == 0 ? "" : "   (FAILED)");
    QFile split(dir + QStringLiteral("/cpu.txt"));
    if (!dir.isEmpty() && split.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = split.readAll().split(' ');
        if (parts.size() == 2)
            std::printf("  %-14s   of which %.2f s while recording (%.2f %% of one core) and %.2f s stopping\n", "",
                        parts[0].toDouble(), 100.0 * parts[0].toDouble() / seconds, parts[1].toDouble());
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 5 && std::string(argv[1]) == "--child")
        return child(std::string(argv[2]) == "full", std::atof(argv[3]), QString::fromLocal8Bit(argv[4]), argc, argv);

    double seconds = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--seconds")
            seconds = std::max(5.0, std::atof(argv[i + 1]));

    QApplication app(argc, argv);
    if (!QGuiApplication::primaryScreen() || qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_record needs the private desktop: make bench\n");
        return 1;
    }
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size()
        * QGuiApplication::primaryScreen()->devicePixelRatio();
    const QString monitor = command("pactl", {"get-default-sink"}) + ".monitor";
    const QString microphone = command("pactl", {"get-default-source"});

    QTemporaryDir dir;
    const QString tab = dir.filePath("tab.wav"), mic = dir.filePath("mic.wav");
    const QString length = QString::number(seconds + 10);
    // Both sides take turns, four seconds each, like two people talking.
    command("sox",
            {"-n", "-r", "48000", "-c", "1", tab, "synth", length, "sine", "220", "sine", "330", "remix", "1",
             "tremolo", "0.125", "100", "vol", "0.4"});
    command("sox",
            {"-n", "-r", "48000", "-c", "1", mic, "synth", length, "sine", "180", "tremolo", "0.125", "100", "vol",
             "0.4", "delay", "4"});

    QLabel slide;
    slide.setAlignment(Qt::AlignCenter);
    slide.setTextFormat(Qt::RichText);
    int shown = 0;
    showSlide(slide, shown);
    slide.showFullScreen();
    QTimer changer;
    QObject::connect(&changer, &QTimer::timeout, [&] { showSlide(slide, ++shown); });
    QProcess speaker, talker;
    for (int i = 0; i < 20; ++i)
        app.processEvents(QEventLoop::AllEvents, 50);

    std::printf("bench_record: %.0f s of a %dx%d desktop, a slide change every 10 s, sound on both sides\n", seconds,
                screen.width(), screen.height());
    std::printf("  ffmpeg: x11grab at 0.5 frames/s scaled to 1440 wide as JPEG, %s and %s to mono AAC 64 kbit/s\n",
                qPrintable(monitor), qPrintable(microphone));
    std::fflush(stdout);
    speaker.start("paplay", {"--device=" + command("pactl", {"get-default-sink"}), tab});
    talker.start("paplay", {"--device=micfeed", mic});
    changer.start(10000);

    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string secs = QString::number(seconds).toStdString();
    QDir(dir.path()).mkpath("full");
    QDir(dir.path()).mkpath("capture");
    QDir(dir.path()).mkpath("ffmpeg");
    BenchTools::Measured full, capture, ffmpeg;
    std::thread a([&] {
        full = BenchTools::measure({self, "--child", "full", secs, dir.filePath("full").toStdString()});
    });
    std::thread b([&] {
        capture = BenchTools::measure({self, "--child", "capture", secs, dir.filePath("capture").toStdString()});
    });
    std::thread c([&] {
        ffmpeg = BenchTools::measure(
            BenchTools::ffmpegPeer(qgetenv("DISPLAY").toStdString(),
                                   QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()).toStdString(),
                                   monitor.toStdString(), microphone.toStdString(), secs,
                                   dir.filePath("ffmpeg").toStdString()));
    });
    // The slides change on this thread while the three record.
    QEventLoop loop;
    std::thread waiter([&] {
        a.join();
        b.join();
        c.join();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    waiter.join();
    speaker.kill();
    talker.kill();
    speaker.waitForFinished(2000);
    talker.waitForFinished(2000);

    int ffmpegFrames = 0;
    for (QDirIterator it(dir.filePath("ffmpeg"), {"*.jpg"}, QDir::Files); it.hasNext(); it.next())
        ++ffmpegFrames;
    std::printf("    %-16s %d frames\n", "ffmpeg:", ffmpegFrames);
    report("ours, full", full, seconds, dir.filePath("full"));
    report("ours, capture", capture, seconds, dir.filePath("capture"));
    report("ffmpeg", ffmpeg, seconds);
    const double ratio = ffmpeg.cpu > 0 ? capture.cpu / ffmpeg.cpu : 0;
    std::printf("  ratio ours (capture) / ffmpeg CPU: %.2f   (target <= 1.0)\n", ratio);
    std::printf(
        "  ours (full): %.2f %% of one core over the whole run (target < 5 %%), peak RSS %.1f MB (target < 150 MB)\n",
        100.0 * full.cpu / full.seconds, double(full.maxRssKiB) / 1024.0);
    return full.status == 0 && capture.status == 0 && ffmpeg.status == 0 ? 0 : 1;
}
