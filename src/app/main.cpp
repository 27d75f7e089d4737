#include "app/RecTest.h"
#include "core/Log.h"
#include "platform/OwnWindows.h"
#include "platform/Relaunch.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
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

Usage: zelvan [OPTION]...

Stand-alone modes (they run and exit):
  --selftest [--out FILE] [--server URL [--key KEY] [--todo-actions]]
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

} // namespace

int main(int argc, char** argv)
{
    // Tesseract's OpenMP reads its thread limit only at load time; without a
    // limit of 1 a page takes seconds on a small machine.
    Relaunch::withEnvironment("OMP_THREAD_LIMIT", "1", argv);

    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (args.contains(QStringLiteral("--rec-test"))) {
        QCoreApplication app(argc, argv);
        const double seconds = RecTest::seconds(args);
        int code = 1;
        // The recording runs off the main thread, which waits for it.
        std::thread([&] { code = RecTest::run(seconds); }).join();
        slogFlush();
        return code;
    }

    if (args.size() == 1) {
        std::fputs(usage, stdout);
        return 0;
    }
    // Listed switches whose mode this build lacks fail loudly, so that a script
    // never takes them for success.
    static const QStringList notYet = {
        QStringLiteral("--selftest"),  QStringLiteral("--make-iconset"),  QStringLiteral("--render-previews"),
        QStringLiteral("--sign-in"),   QStringLiteral("--retry-pending"), QStringLiteral("--preview"),
        QStringLiteral("--dump-menu"), QStringLiteral("--ui-check"),      QStringLiteral("--board-check"),
    };
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (notYet.contains(args[i])) {
            std::fprintf(stderr, "zelvan: %s is not available in this build\n", argv[i]);
            return 2;
        }
    }
    std::fputs(usage, stderr);
    return 2;
}
