#include "app/AppController.h"
#include "app/QtPorts.h"
#include "app/QuitSignals.h"
#include "app/RealPorts.h"
#include "app/RecTest.h"
#include "app/SingleInstance.h"
#include "core/Accounts.h"
#include "board/BoardModule.h"
#include "board/GlShare.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "platform/Memory.h"
#include "platform/OwnWindows.h"
#include "platform/SystemLog.h"
#include "platform/CaptureError.h"
#include "platform/linux/XDisplay.h"
#include "preview/IconSet.h"
#include "preview/LaunchPreview.h"
#include "preview/Previews.h"
#include "selftest/SelfTest.h"
#include "ui/StatusIcon.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSessionManager>
#include <QStringList>
#include <optional>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <thread>

namespace {

// Whatever application object a mode makes, every window it shows stays out of
// screen recordings.
void keepOwnWindowsOutOfRecordings()
{
    OwnWindows::install();
}
Q_COREAPP_STARTUP_FUNCTION(keepOwnWindowsOutOfRecordings)

constexpr const char* usage = R"(Zelvan records work sessions and calls and files them to your team's platform.

Usage: zelvan [OPTION]... [zelvan://LINK]

Without a stand-alone mode it starts in the tray; a second start hands its link
to the running one and exits.

Stand-alone modes (they run and exit):
  --selftest [--out FOLDER] [--server URL [--key KEY] [--todo-actions]]
             [--platform URL [--expect-app-paths]]
                              check the system offline, against a workspace
                              server or against the platform
  --rec-test [SECONDS]        record a throw-away session (default 5 s) and report
  --make-iconset FOLDER       write the application icons into FOLDER
  --render-previews FOLDER    write the interface preview images into FOLDER

Launch switches of the tray application:
  --sign-in                   start the device sign-in
  --retry-pending             retry uploads that did not finish
  --preview [--wrap|board]    show a preview window
  --dump-menu [--dump-menu-delay SECONDS]
  --ui-check
  --board-check [URL]
)";

// How long a quit waits for work off the main thread, and for the whole tear-down.
constexpr int quitGraceMs = 3000;
constexpr double quitDeadlineSeconds = 8;

// Whether the X server the application would use answers. Another platform
// plugin chosen on purpose (offscreen for tests) needs none.
bool hasDisplay()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QStringLiteral("xcb")))
        return true;
    try {
        XDisplay display;
        return true;
    } catch (const CaptureError&) {
        return false;
    }
}

// Recordings, the log and the work day all live in the support folder: one
// that cannot be written is said at start, with its path, not at the first
// recording. The words for the user, or nothing when the folder is fine.
std::optional<QString> supportUnwritable()
{
    const QString folder = Paths::support();
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0)
        return std::nullopt;
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    SystemLog::write(QStringLiteral("the support folder %1 cannot be written (%2): recordings cannot be saved")
                         .arg(folder, reason));
    return QStringLiteral("The folder %1 cannot be written (%2). Recordings, the log and the work day are kept "
                          "there: nothing can be recorded until it can be written.")
        .arg(folder, reason);
}

// A mode that takes a folder counts only with an argument after it.
bool withArgument(const QStringList& args, const QString& mode)
{
    const qsizetype i = args.indexOf(mode);
    return i >= 0 && i + 1 < args.size();
}

int runApplication(int argc, char** argv, const QStringList& args)
{
    const bool diagnostic = args.contains(QStringLiteral("--dump-menu")) || args.contains(QStringLiteral("--ui-check"))
        || args.contains(QStringLiteral("--board-check"));
    QStringList urls;
    for (const QString& a : args.mid(1))
        if (a.startsWith(QStringLiteral("zelvan:"), Qt::CaseInsensitive))
            urls << a;

    // Without an X server Qt would abort with advice about reinstalling.
    if (!hasDisplay()) {
        SystemLog::write(QStringLiteral("Zelvan needs an X11 display; DISPLAY is not set or cannot be opened"));
        return 1;
    }
    // The board's web view shares its GL context; the attribute must precede the
    // application, the context itself is made when the board first opens.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    GlShare::defer();
    // Made before the application, so that it goes after it: the lock is held
    // until the process has all but ended, and a later launch never runs beside
    // a process that is still finishing.
    std::unique_ptr<SingleInstance> instance;
    // Before the claim: the instance's socket hears later launches only through
    // the application's event loop.
    QApplication app(argc, argv);
    if (!diagnostic) {
        QStringList messages;
        for (const QString& u : urls)
            messages << QStringLiteral("url ") + u;
        // A second `--sign-in` asks the running one to sign in, not to show itself.
        if (args.contains(QStringLiteral("--sign-in")))
            messages << QStringLiteral("sign-in");
        if (messages.isEmpty())
            messages << QStringLiteral("reopen");
        instance = SingleInstance::claim(messages);
        if (!instance) {
            // The system log only: the log file belongs to the running instance.
            SystemLog::write(QStringLiteral("already running"));
            return 0;
        }
    }

    const std::optional<QString> unwritable = diagnostic ? std::nullopt : supportUnwritable();
    app.setQuitOnLastWindowClosed(false);
    QtScheduler scheduler;
    QtWorker worker;
    TrayStatusItem tray([](bool recording, bool dot) { return StatusIcon::slash(18, recording, dot); });
    DesktopApplication application;
    OwnWindowList ownWindows;
    // The popover's fold state and the recording panel's place live in the standard store.
    const std::unique_ptr<QSettings> standard = Settings::standard();
    QSettings& store = standard ? *standard : Settings::shared().d();
    // Components made before the controller reach it through this handle.
    auto handle = std::make_shared<std::weak_ptr<AppController>>();
    RealPorts::Components components(store, tray, args, [handle] {
        if (auto c = handle->lock())
            c->requestQuit();
    });

    auto controller = AppController::create(Accounts::shared(),
                                            components.ports(scheduler, worker, application, ownWindows), args);
    std::weak_ptr<AppController> weak = controller;
    *handle = weak;
    BoardModule::setOpenSettings([weak] {
        if (auto c = weak.lock())
            c->openSettings();
    });
    QuitSignals quitSignals([weak] {
        if (auto c = weak.lock())
            c->requestQuit();
    });
    // A logout: save a running recording before the session ends.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [weak](QSessionManager&) {
        if (auto c = weak.lock())
            c->requestQuit();
    });
    if (instance) {
        instance->onMessage = [weak](const QString& message) {
            auto c = weak.lock();
            if (!c)
                return;
            if (message.startsWith(QStringLiteral("url ")))
                c->openURL(message.mid(4));
            else if (message == QStringLiteral("reopen"))
                c->reopen();
            else if (message == QStringLiteral("sign-in"))
                c->startSignIn();
        };
    }
    scheduler.post([weak, urls] {
        if (auto c = weak.lock()) {
            c->launch();
            if (c->args().contains(QStringLiteral("--preview")))
                LaunchPreview::show(*c);
            for (const QString& u : urls)
                c->openURL(u);
        }
    });
    if (unwritable)
        scheduler.post([&application, text = *unwritable] {
            application.ask(QStringLiteral("Zelvan can’t save anything"), text, {QStringLiteral("OK")});
        });
    if (const std::optional<QString> damage = Settings::takeDamage())
        scheduler.post([&application, text = *damage] {
            application.ask(QStringLiteral("Zelvan’s settings were damaged"), text, {QStringLiteral("OK")});
        });
    const int code = app.exec();
    // The quit ends the process within seconds whatever still runs: a tear-down
    // that hangs is cut short, work off the main thread is told to stop (an
    // upload at its next resumable mark) and gets a moment to do so.
    QuitSignals::endWithin(quitDeadlineSeconds, code);
    controller.reset();
    if (!worker.finish(quitGraceMs)) {
        // A job still running would outlive what it uses: end here, with the
        // settings written; the instance lock goes with the process.
        slog(QStringLiteral("quit: work still running, not waited for"));
        store.sync();
        Settings::shared().d().sync();
        slogFlush();
        QuitSignals::endNow(code);
    }
    slogFlush();
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    Memory::shareOneHeap();

    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // The self-test comes before every other mode, "--help" included.
    if (args.contains(QStringLiteral("--selftest")))
        return SelfTest::main(argc, argv, args);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (withArgument(args, QStringLiteral("--make-iconset")))
        return IconSet::run(argc, argv, args.at(args.indexOf(QStringLiteral("--make-iconset")) + 1));
    if (withArgument(args, QStringLiteral("--render-previews")))
        return Previews::run(argc, argv, args.at(args.indexOf(QStringLiteral("--render-previews")) + 1));
    // Without its folder a mode must not start the tray application instead.
    for (const char* mode : {"--make-iconset", "--render-previews"})
        if (args.contains(QLatin1String(mode))) {
            std::fprintf(stderr, "zelvan: %s needs a folder\n\n%s", mode, usage);
            return 2;
        }
    if (args.contains(QStringLiteral("--rec-test"))) {
        QCoreApplication app(argc, argv);
        const double seconds = RecTest::seconds(args);
        int code = 1;
        // The recording runs off the main thread, which waits for it.
        std::thread([&] { code = RecTest::run(seconds); }).join();
        slogFlush();
        return code;
    }
    if (args.contains(QStringLiteral("--board-check"))) {
        const BoardModule::Entry* board = BoardModule::entry();
        return board ? board->check(argc, argv, args) : 1;
    }
    return runApplication(argc, argv, args);
}
