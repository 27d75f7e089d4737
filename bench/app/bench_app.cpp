// The whole application, run as a user runs it and read as an observer outside
// it reads it: the CPU of the whole process (every thread, and its children)
// from /proc, over the same windows of time as its peers.
//
//   start-up       exec → tray icon on screen, zelvan beside bench_tray_floor
//                  (the least a Qt program with a tray icon does), in turns
//   idle           a while in the tray; resident memory 30 s after launch
//   recording      one recording started with Ctrl+Alt+R, first with the pill
//                  and then with the card open, while the front window's title
//                  changes every 0.3 s (the card's feed follows it). Beside it
//                  for the whole recording, started together:
//                    bare recorder  bench_record --child full (the same recorder,
//                                   text recognition included, no application)
//                    ffmpeg         x11grab + pulse, bench_record's settings
//   after          resident memory once the recording is saved
//
// Live hearing is on, as it is by default (--no-hearing turns it off, to tell
// its share from the rest). A moving picture stays on screen, a sound plays on
// the speaker and speech on the microphone, in turns as in a call. The
// machine is shared and noisy: differences and ratios between sides measured
// in one window count, not absolute figures. Run it inside the private desktop
// (`make bench`).
//
//   bench_app [--seconds N] [--launches N] [--no-hearing]
//     N seconds per measured window (default 60), N starts of each side (default 5)
#include "core/Settings.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "BenchTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <atomic>
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

// Polls `done` every `step` seconds for up to `seconds`.
bool waitFor(const std::function<bool()>& done, double seconds, double step = 0.1)
{
    const double until = BenchTools::now() + seconds;
    while (!done()) {
        if (BenchTools::now() > until)
            return false;
        pause(step);
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

// The user's side of a call: spoken sentences, 4 s on and 4 s off, off first,
// turn about with the other side's sound (its tremolo). Speech, not a tone, so
// that live hearing decodes what it decodes in a call.
bool talkInTurns(const QString& dir, const QString& out, double seconds)
{
    const QString wav = dir + "/talk.wav", raw = dir + "/talk.f32", turns = dir + "/turns.f32";
    const char* text =
        "Thanks for joining. Let's start with the pricing page: the annual plan should lead, and the monthly plan "
        "comes second. The design team wants a new landing page before the Friday release. Support tickets grew "
        "last week, mostly about the mobile app crashing on older phones. Can we move the customer review to "
        "Thursday? I'll send the contract draft this afternoon, and marketing would like a short video for the "
        "launch. Let's keep the standup to fifteen minutes and write the open questions in the shared document.";
    if (!BenchTools::run({"espeak-ng", "-v", "en-us+m3", "-s", "150", "-w", wav.toStdString(), text})
        || !BenchTools::run({"sox", wav.toStdString(), "-r", "48000", "-c", "1", "-e", "floating-point", "-b", "32",
                             "-t", "raw", raw.toStdString()}))
        return false;
    QFile in(raw);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    const auto* speech = reinterpret_cast<const float*>(bytes.constData());
    const std::size_t spoken = std::size_t(bytes.size()) / sizeof(float);
    if (spoken == 0)
        return false;
    const std::size_t turn = 4 * 48000;
    std::vector<float> samples(std::size_t(seconds * 48000), 0.0f);
    std::size_t next = 0;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if ((i / turn) % 2 == 1)
            samples[i] = speech[next++ % spoken];
    QFile o(turns);
    if (!o.open(QIODevice::WriteOnly)
        || o.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)))
               != qint64(samples.size() * sizeof(float)))
        return false;
    o.close();
    return BenchTools::run({"sox", "-t", "raw", "-r", "48000", "-c", "1", "-e", "floating-point", "-b", "32",
                            turns.toStdString(), "-b", "16", out.toStdString()});
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

// Windows of a process that are on screen, read from the X server.
class OnScreen {
public:
    OnScreen()
        : display_(XOpenDisplay(nullptr))
    {
        // Windows come and go while the tree is walked; a gone one is skipped.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        if (display_)
            pidAtom_ = XInternAtom(display_, "_NET_WM_PID", False);
    }
    ~OnScreen()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool ok() const { return display_; }

    // Geometry of the viewable windows whose _NET_WM_PID is `pid`, in root coordinates.
    std::vector<QRect> windowsOf(pid_t pid)
    {
        std::vector<QRect> out;
        walk(DefaultRootWindow(display_), pid, out);
        return out;
    }
    // A tray icon: a small viewable window of the process.
    bool iconOf(pid_t pid)
    {
        for (const QRect& r : windowsOf(pid))
            if (r.width() <= 64 && r.height() <= 64)
                return true;
        return false;
    }

private:
    void walk(Window w, pid_t pid, std::vector<QRect>& out)
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, w, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
                == Success
            && data) {
            if (count == 1 && pid_t(*reinterpret_cast<unsigned long*>(data)) == pid) {
                XWindowAttributes a{};
                if (XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable) {
                    int x = 0, y = 0;
                    Window child = 0;
                    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
                    out.emplace_back(x, y, a.width, a.height);
                }
            }
            XFree(data);
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display_, w, &root, &parent, &children, &n))
            return;
        for (unsigned int i = 0; i < n; ++i)
            walk(children[i], pid, out);
        if (children)
            XFree(children);
    }

    Display* display_;
    Atom pidAtom_ = 0;
};

void stop(BenchTools::Child& child)
{
    if (child.pid < 0)
        return;
    ::kill(child.pid, SIGTERM);
    BenchTools::finish(child);
    child.pid = -1;
}

// Seconds from exec to a tray icon on screen; -1 when none came in 60 s.
double execToIcon(OnScreen& screen, const std::vector<std::string>& command, const std::string& log)
{
    BenchTools::Child c = BenchTools::spawn(command, log);
    if (c.pid < 0)
        return -1;
    const bool shown = waitFor([&] { return screen.iconOf(c.pid); }, 60, 0.005);
    const double seconds = BenchTools::now() - c.started;
    stop(c);
    return shown ? seconds : -1;
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

// CPU of each side over one window of time, as a share of one core.
struct Slice {
    double wall = 0;
    double app = 0, bare = 0, ffmpeg = 0; // percent of one core
    std::vector<std::pair<std::string, double>> threads, bareThreads;
};

Slice measure(pid_t app, pid_t bare, pid_t ffmpeg, double seconds)
{
    const auto threadsFrom = BenchTools::threadsOf(app);
    const auto bareFrom = bare < 0 ? std::vector<BenchTools::ThreadCpu>{} : BenchTools::threadsOf(bare);
    const double at = BenchTools::now();
    const double a0 = BenchTools::treeCpuOf(app), b0 = bare < 0 ? 0 : BenchTools::treeCpuOf(bare),
                 f0 = ffmpeg < 0 ? 0 : BenchTools::treeCpuOf(ffmpeg);
    pause(seconds);
    const double a1 = BenchTools::treeCpuOf(app), b1 = bare < 0 ? 0 : BenchTools::treeCpuOf(bare),
                 f1 = ffmpeg < 0 ? 0 : BenchTools::treeCpuOf(ffmpeg);
    Slice w;
    w.wall = BenchTools::now() - at;
    w.app = 100 * (a1 - a0) / w.wall;
    w.bare = 100 * (b1 - b0) / w.wall;
    w.ffmpeg = 100 * (f1 - f0) / w.wall;
    w.threads = byThread(app, threadsFrom, BenchTools::threadsOf(app));
    if (bare >= 0)
        w.bareThreads = byThread(bare, bareFrom, BenchTools::threadsOf(bare));
    return w;
}

void printWindow(const char* name, const Slice& w)
{
    std::printf("  %-5s %3.0f s   app %5.2f %%   bare %5.2f %%   ffmpeg %5.2f %%   (of one core)\n", name, w.wall,
                w.app, w.bare, w.ffmpeg);
    std::printf("                app - bare %5.2f %%   app / bare %4.2f   app / ffmpeg %4.2f\n", w.app - w.bare,
                w.bare > 0 ? w.app / w.bare : 0, w.ffmpeg > 0 ? w.app / w.ffmpeg : 0);
    const auto print = [&](const char* side, const std::vector<std::pair<std::string, double>>& threads) {
        std::printf("                %s by thread:", side);
        for (size_t i = 0; i < threads.size() && i < 7; ++i)
            std::printf("%s %s %.2f %%", i ? "," : "", threads[i].first.c_str(), 100.0 * threads[i].second / w.wall);
        std::printf("\n");
    };
    print("app", w.threads);
    print("bare", w.bareThreads);
}

double mb(long kib)
{
    return double(kib) / 1024.0;
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
    int launches = 5;
    bool hearing = true;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--no-hearing")
            hearing = false;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds")
            seconds = std::max(5.0, std::atof(argv[i + 1]));
        if (std::string(argv[i]) == "--launches")
            launches = std::max(1, std::atoi(argv[i + 1]));
    }
    OnScreen screen;
    const QString geometry = output("xdotool", {"getdisplaygeometry"}).replace(u' ', u'x');
    if (qEnvironmentVariableIsEmpty("DISPLAY") || geometry.isEmpty() || !screen.ok())
        return fail("needs the private desktop: make bench");
    const QStringList size = geometry.split(u'x');

    QTemporaryDir dir;
    const ThrowAwaySuite suite;
    const QString support = dir.filePath("app"), bare = dir.filePath("bare"), appLog = dir.filePath("app.log");
    QDir(dir.path()).mkpath("bare/sessions");
    QDir(dir.path()).mkpath("ffmpeg");
    if (!hearing)
        Settings::suite(suite.name)->setValue("liveHearing", false);
    // As a desktop session starts it: nothing of ours in its environment but its folders.
    const std::vector<std::string> appCommand = {"env",
                                                 "-u",
                                                 "OMP_THREAD_LIMIT",
                                                 "ZELVAN_SUPPORT_DIR=" + support.toStdString(),
                                                 "ZELVAN_DEFAULTS_SUITE=" + suite.name.toStdString(),
                                                 ZELVAN_EXECUTABLE};
    const std::vector<std::string> floorCommand = {"env", "-u", "OMP_THREAD_LIMIT", TRAY_FLOOR};

    std::printf("bench_app: a %s desktop, %.0f s windows; live hearing %s\n", qPrintable(geometry), seconds,
                hearing ? "on (the default)" : "off");
    std::fflush(stdout);

    // Start-up, in turns; the first launch of each warms the disk cache and is not counted.
    std::vector<double> appStarts, floorStarts;
    for (int i = 0; i <= launches; ++i) {
        const double f = execToIcon(screen, floorCommand, dir.filePath("floor.log").toStdString());
        const double a = execToIcon(screen, appCommand, appLog.toStdString());
        if (f < 0 || a < 0)
            return fail(a < 0 ? "the application showed no tray icon" : "the tray floor showed no tray icon", appLog);
        if (i > 0) {
            appStarts.push_back(a);
            floorStarts.push_back(f);
        }
    }
    const double appStart = BenchTools::median(appStarts), floorStart = BenchTools::median(floorStarts);
    std::printf("  start-up: exec -> tray icon, median of %d   app %.3f s   tray floor %.3f s   app / floor %.2f   "
                "(target <= 3)\n",
                launches, appStart, floorStart, appStart / floorStart);
    std::fflush(stdout);

    // Sound for the whole run, the two sides taking turns as in a call.
    const QString tab = dir.filePath("tab.wav"), mic = dir.filePath("mic.wav");
    const QString length = QString::number(4 * seconds + 180);
    BenchTools::run({"sox",  "-n",  "-r",   "48000", "-c",    "1", tab.toStdString(), "synth", length.toStdString(),
                     "sine", "220", "sine", "330",   "remix", "1", "tremolo",         "0.125", "100",
                     "vol",  "0.4"});
    if (!talkInTurns(dir.path(), mic, 4 * seconds + 180))
        return fail("espeak-ng or sox could not make the talk");
    const std::string quiet = dir.filePath("players.log").toStdString();
    const QString sink = output("pactl", {"get-default-sink"}), source = output("pactl", {"get-default-source"});
    BenchTools::Child picture =
        BenchTools::spawn({"ffplay", "-loglevel", "quiet", "-an", "-window_title", "Moving picture", "-f", "lavfi",
                           "-i", "life=size=160x90:rate=5:ratio=0.3:mold=10,scale=1280:720:flags=neighbor"},
                          quiet);
    BenchTools::Child speaker = BenchTools::spawn({"paplay", "--device=" + sink.toStdString(), tab.toStdString()},
                                                  quiet);
    BenchTools::Child talker = BenchTools::spawn({"paplay", "--device=micfeed", mic.toStdString()}, quiet);
    BenchTools::Child app, recorder, ffmpeg;
    std::atomic<bool> renaming{true};
    std::thread renamer;
    const auto cleanUp = [&] {
        renaming = false;
        if (renamer.joinable())
            renamer.join();
        for (BenchTools::Child* c : {&app, &recorder, &ffmpeg, &picture, &speaker, &talker})
            stop(*c);
    };

    app = BenchTools::spawn(appCommand, appLog.toStdString());
    const double launchedAt = BenchTools::now();
    const auto logged = [&](const QByteArray& text) {
        QFile log(support + "/zelvan.log");
        return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
    };
    if (!waitFor([&] { return logged("launched "); }, 120)) {
        cleanUp();
        return fail("the application did not launch", appLog);
    }
    pause(std::max(0.0, launchedAt + 30 - BenchTools::now()));
    const long idleRss = BenchTools::statusKiBOf(app.pid, "VmRSS:");
    const Slice idle = measure(app.pid, -1, -1, seconds);

    // The front window is the moving picture, whose title changes every 0.3 s.
    const QString pictureWindow = output("xdotool", {"search", "--name", "^Moving picture$"}).section(u'\n', 0, 0);
    BenchTools::run({"xdotool", "windowactivate", "--sync", pictureWindow.toStdString()});
    renamer = std::thread([&] {
        for (int i = 0; renaming; ++i) {
            BenchTools::run({"xdotool", "set_window", "--name", "Moving picture " + std::to_string(i % 1000),
                             pictureWindow.toStdString()});
            pause(0.3);
        }
    });

    // The three start recording together; the peers' time has room for the
    // application's start and stop on either side of the measured windows.
    const std::string peerSeconds = std::to_string(int(2 * seconds + 60));
    // A reminder shown before the recording may stay on screen beside the panel.
    const std::vector<QRect> shownBefore = screen.windowsOf(app.pid);
    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    recorder = BenchTools::spawn({"env", "ZELVAN_SUPPORT_DIR=" + bare.toStdString(), BENCH_RECORD, "--child", "full",
                                  peerSeconds, (bare + "/sessions").toStdString()},
                                 dir.filePath("bare.log").toStdString());
    ffmpeg = BenchTools::spawn(BenchTools::ffmpegPeer(qgetenv("DISPLAY").toStdString(), geometry.toStdString(),
                                                      (sink + ".monitor").toStdString(), source.toStdString(),
                                                      peerSeconds, dir.filePath("ffmpeg").toStdString()),
                               dir.filePath("ffmpeg.log").toStdString());
    QString session;
    if (!waitFor([&] { return !(session = liveSession(support + "/recordings")).isEmpty(); }, 60)) {
        cleanUp();
        return fail("Ctrl+Alt+R started no recording", appLog);
    }
    if (!waitFor([&] { return !liveSession(bare + "/sessions").isEmpty(); }, 60)) {
        cleanUp();
        return fail("the bare recorder did not start");
    }
    pause(3); // all past their start

    // The panel: the application's largest window that came with the recording
    // (a tooltip may show beside it).
    const auto panel = [&]() -> QRect {
        QRect largest;
        for (const QRect& r : screen.windowsOf(app.pid))
            if (r.width() > 64 && r.width() * r.height() > largest.width() * largest.height()
                && std::find(shownBefore.begin(), shownBefore.end(), r) == shownBefore.end())
                largest = r;
        return largest;
    };
    const QRect pillFrame = panel();
    const Slice pill = measure(app.pid, recorder.pid, ffmpeg.pid, seconds);

    // A click on the pill opens the card.
    BenchTools::run({"xdotool", "mousemove", std::to_string(pillFrame.center().x()),
                     std::to_string(pillFrame.center().y()), "click", "1"});
    // The panel's frame has room for its shadow around the pill and the card alike.
    const bool cardShown = waitFor([&] { return panel().height() > pillFrame.height() + 40; }, 20);
    const QRect cardFrame = panel();
    BenchTools::run(
        {"xdotool", "mousemove", std::to_string(size.value(0).toInt() / 2), std::to_string(size.value(1).toInt() - 5)});
    pause(2);
    const Slice card = measure(app.pid, recorder.pid, ffmpeg.pid, seconds);
    const long peakRss = BenchTools::statusKiBOf(app.pid, "VmHWM:");

    BenchTools::run({"xdotool", "key", "ctrl+alt+r"});
    const bool stopped = waitFor([&] { return !SessionLock::isLocked(session); }, 120);
    renaming = false;
    renamer.join();
    pause(10);
    const long afterRss = BenchTools::statusKiBOf(app.pid, "VmRSS:");
    stop(recorder);
    stop(ffmpeg);
    ::kill(app.pid, SIGTERM);
    const BenchTools::Measured appAll = BenchTools::finish(app);
    app.pid = -1;
    cleanUp();

    // What the application kept, to show that it recorded.
    if (auto kept = Session::load(session)) {
        const SessionMeta& m = kept->meta();
        std::printf("  app kept: %zu screenshots, %zu text entries, %zu tab spans, %zu mic spans, mic=%s\n",
                    m.shots.size(), m.ocr ? m.ocr->size() : 0, m.levelsTab.size(), m.levelsMic.size(),
                    m.micOk ? "yes" : "no");
    }
    std::printf("  idle  %3.0f s   app %5.2f %% of one core\n", idle.wall, idle.app);
    std::printf("  recording, the pill showing (%dx%d):\n", pillFrame.width(), pillFrame.height());
    printWindow("pill", pill);
    std::printf("  recording, the card open (%dx%d)%s, its feed updating:\n", cardFrame.width(), cardFrame.height(),
                cardShown ? "" : " (IT DID NOT OPEN)");
    printWindow("card", card);
    std::printf("  card - pill: app %5.2f %% of one core   (target <= 2 %%)\n", card.app - pill.app);
    std::printf("  targets, pill: app - bare <= 2 %% (%.2f), app / ffmpeg <= 1.2 (%.2f)\n", pill.app - pill.bare,
                pill.ffmpeg > 0 ? pill.app / pill.ffmpeg : 0);
    std::printf("  resident memory: idle 30 s after launch %.1f MB, recording peak %.1f MB, after the recording "
                "%.1f MB (after - idle %.1f MB)\n",
                mb(idleRss), mb(peakRss), mb(afterRss), mb(afterRss - idleRss));
    std::printf("  the application: %s, exit %d\n", stopped ? "the recording stopped and was saved" : "DID NOT STOP",
                appAll.status);
    return stopped && cardShown && appAll.status == 0 ? 0 : 1;
}
