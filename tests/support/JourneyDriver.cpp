#include "support/JourneyDriver.h"

#include "../platform/DesktopHelpers.h"
#include "core/Brand.h"
#include "core/Paths.h"
#include "platform/ScreenCapture.h"
#include "session/SessionLock.h"
#include "ui/Floating.h"
#include "ui/NudgeView.h"
#include "ui/Nudges.h"
#include "ui/ZVButton.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <cmath>
#include <csignal>
#include <vector>

namespace {

// The middle row of the lime fill around column `x` (the primary button).
std::optional<int> limeRowsCentre(const QImage& image, int x)
{
    const QColor lime = Brand::lime();
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        int n = 0;
        for (int dx = -60; dx <= 60; ++dx) {
            const int px = x + dx;
            if (px < 0 || px >= image.width())
                continue;
            const QColor c = image.pixelColor(px, y);
            n += std::abs(c.red() - lime.red()) < 40 && std::abs(c.green() - lime.green()) < 40
                && std::abs(c.blue() - lime.blue()) < 60;
        }
        if (n > 100)
            rows.push_back(y);
    }
    if (rows.empty())
        return std::nullopt;
    return (rows.front() + rows.back()) / 2;
}

} // namespace

JourneyDriver::JourneyDriver(QString executable)
    : executable_(std::move(executable))
{
}

JourneyDriver::~JourneyDriver()
{
    stop();
}

bool JourneyDriver::launch(const Launch& launch)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!launch.suite.isEmpty())
        env.insert("ZELVAN_DEFAULTS_SUITE", launch.suite);
    if (!launch.keyringService.isEmpty())
        env.insert("ZELVAN_KEYCHAIN_SERVICE", launch.keyringService);
    for (const auto& [name, value] : launch.env)
        env.insert(name, value);
    for (const QString& name : launch.unset)
        env.remove(name);
    app_.setProcessEnvironment(env);
    app_.setReadChannel(QProcess::StandardError);
    app_.start(executable_, launch.args);
    return app_.waitForStarted(30'000) && logged("[Zelvan] launched ");
}

void JourneyDriver::stop()
{
    if (app_.state() == QProcess::NotRunning)
        return;
    terminate();
    if (!app_.waitForFinished(60'000)) {
        app_.kill();
        app_.waitForFinished(10'000);
    }
}

void JourneyDriver::terminate()
{
    if (running())
        ::kill(pid_t(app_.processId()), SIGTERM);
}

void JourneyDriver::crash()
{
    if (!running())
        return;
    app_.kill();
    app_.waitForFinished(30'000);
}

bool JourneyDriver::running() const
{
    return app_.state() != QProcess::NotRunning;
}

bool JourneyDriver::ended(double seconds)
{
    // Waiting on a process that already ended answers false.
    return !running() || app_.waitForFinished(int(seconds * 1000));
}

std::optional<int> JourneyDriver::exitCode() const
{
    if (running() || app_.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return app_.exitCode();
}

QByteArray JourneyDriver::log()
{
    err_ += app_.readAllStandardError();
    return err_;
}

std::optional<QString> JourneyDriver::waitLine(const QByteArray& text, double seconds)
{
    std::optional<QString> found;
    waitFor(
        [&] {
            const QByteArray all = log();
            const qsizetype at = all.indexOf(text);
            // Only a whole line: the rest may still be on its way.
            const qsizetype end = at < 0 ? -1 : all.indexOf('\n', at);
            if (end >= 0) {
                const qsizetype start = all.lastIndexOf('\n', at) + 1;
                found = QString::fromUtf8(all.mid(start, end - start));
            }
            return found || !running();
        },
        seconds);
    return found;
}

QString JourneyDriver::kickIn()
{
    if (!run("xdotool", {"key", "ctrl+alt+r"}))
        return {};
    QString dir;
    waitFor(
        [&] {
            const QStringList found = sessionFolders();
            dir = found.isEmpty() ? QString() : Paths::recordings() + '/' + found.first();
            return !dir.isEmpty() && SessionLock::isLocked(dir);
        },
        120);
    return dir.isEmpty() || !SessionLock::isLocked(dir) ? QString() : dir;
}

bool JourneyDriver::wrapUp()
{
    return run("xdotool", {"key", "ctrl+alt+r"});
}

std::optional<QPoint> JourneyDriver::routeButton(const QString& message, const QStringList& labels, int index)
{
    if (index < 0 || index >= labels.size())
        return std::nullopt;
    std::vector<NudgeButton> buttons;
    for (const QString& l : labels)
        buttons.push_back({l, buttons.empty(), {}});
    const NudgeView::Tag tag = NudgeView::tag("route");
    auto* view = new NudgeView("/", "Where does this go?", message, std::move(buttons), true, tag.text, tag.tone, {});
    FloatingPanel panel;
    panel.setContent(view);
    const QSize size = panel.fittingSize();
    panel.resize(size);
    // Laid out for real, never shown.
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();
    const auto at = Nudges::place(size, FloatingPanel::screens(), std::nullopt);
    if (!at)
        return std::nullopt;
    ZVButton* first = view->buttons().at(0);
    ZVButton* button = view->buttons().at(index);
    const QPoint firstAt = *at + first->mapTo(&panel, first->rect().center());
    const QPoint buttonAt = *at + button->mapTo(&panel, button->rect().center());
    const std::optional<int> shown = limeRowsCentre(ScreenCapture::grabPrimary(), firstAt.x());
    if (!shown)
        return std::nullopt;
    return buttonAt + QPoint(0, *shown - firstAt.y());
}

bool JourneyDriver::click(const QPoint& at)
{
    return run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

bool JourneyDriver::closeWindow(const QString& title, double seconds)
{
    const QString pattern = '^' + QRegularExpression::escape(title) + '$';
    if (!waitFor([&] { return run("xdotool", {"search", "--onlyvisible", "--name", pattern}); }, seconds))
        return false;
    run("xdotool", {"search", "--onlyvisible", "--name", pattern, "windowactivate", "--sync"});
    run("xdotool", {"key", "--clearmodifiers", "alt+F4"});
    return waitFor([&] { return !run("xdotool", {"search", "--onlyvisible", "--name", pattern}); }, seconds);
}

QStringList JourneyDriver::sessionFolders()
{
    return QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

void JourneyDriver::spend(double seconds)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}
