#include "app/RecTest.h"

#include "core/Log.h"
#include "core/ScreenAccess.h"
#include "platform/CaptureError.h"
#include "platform/ScreenCapture.h"
#include "session/Recorder.h"
#include "session/Session.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr double defaultSeconds = 5;
// A day; beyond that the sleep's count would mean nothing.
constexpr double longestSeconds = 86400;
// How long past the asked time a recording still waits for its first screenshot.
constexpr double lateShotSeconds = 30;

// Screen capture on Linux needs no permission, only a display we can reach.
bool displayReachable()
{
    try {
        ScreenCapture::displays();
        return true;
    } catch (const CaptureError&) {
        return false;
    }
}

QString text(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

namespace RecTest {

double seconds(const QStringList& args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--rec-test"));
    if (at < 0 || at + 1 >= args.size())
        return defaultSeconds;
    bool ok = false;
    const double value = args[at + 1].toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return defaultSeconds;
    return std::min(value, longestSeconds);
}

int run(double seconds)
{
    // A fresh owner-only folder per run: the temporary folder is shared with other
    // users and other runs, so a fixed name could be planted or removed under us.
    QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/zelvan-rectest-XXXXXX"));
    if (!temporary.isValid()) {
        slog(QStringLiteral("rec-test FAILED: cannot make a temporary folder: ") + temporary.errorString());
        return 1;
    }
    const QString work = temporary.path();
    std::shared_ptr<Session> session;
    try {
        session = Session::create(QStringLiteral("Recording test"), QStringLiteral("Screen"), std::nullopt,
                                  std::nullopt, work);
    } catch (const std::exception& e) {
        slog(QStringLiteral("rec-test FAILED: ") + QString::fromUtf8(e.what()));
        return 1;
    }
    slog(QStringLiteral("rec-test: preflight=") + text(displayReachable()) + QStringLiteral(" sck=")
         + text(ScreenAccess::works()));

    auto recorder = Recorder::create(session);
    try {
        recorder->start(false);
    } catch (const std::exception& e) {
        slog(QStringLiteral("rec-test FAILED: ") + QString::fromUtf8(e.what()));
        recorder.reset();
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    // On a busy machine the first screenshot can come after a short test's end:
    // record on until it is in, so a working set-up never reports none.
    const auto lateShotDeadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(lateShotSeconds);
    while (recorder->shotCount() == 0 && std::chrono::steady_clock::now() < lateShotDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto stopped = recorder->stop();
    recorder.reset();

    qint64 bytes = 0;
    int shots = 0;
    const QDir dir(stopped->dir());
    QDirIterator it(stopped->dir(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        bytes += QFileInfo(path).size();
        if (dir.relativeFilePath(path).startsWith(QStringLiteral("shots/")))
            ++shots;
    }
    slog(QStringLiteral("rec-test OK: %1 s recorded and stopped, %2 screenshots, %3 KB")
             .arg(qint64(seconds))
             .arg(shots)
             .arg(bytes / 1024));
    return 0;
}

} // namespace RecTest
