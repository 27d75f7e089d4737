#include "app/AppController.h"

#include "app/Failure.h"
#include "core/Log.h"

#include <QFileSystemWatcher>

const QString AppController::idleToolTip = QStringLiteral("Zelvan");
const QString AppController::recordingToolTip = QStringLiteral(
    "Zelvan active — recording screen & audio · Ctrl+Alt+R to wrap up");

std::shared_ptr<AppController> AppController::create(Accounts& accounts, AppPorts ports, QStringList args)
{
    return std::shared_ptr<AppController>(new AppController(accounts, std::move(ports), std::move(args)));
}

AppController::AppController(Accounts& a, AppPorts ports, QStringList args)
    : accounts(a)
    , settings(a.settings())
    , popover(ports.popover())
    , hud(ports.hud())
    , hearing(ports.hearing())
    , windows(ports.windows())
    , detector(ports.detector())
    , tracker(std::make_unique<WorkdayTracker>(ports.workdayDir.isEmpty() ? Paths::workday() : ports.workdayDir))
    , todos(std::make_unique<TodoStore>())
    , signIn(std::make_unique<SignIn>())
    , lastWorkdayUpload(Clock::current().now())
    , voice(ports.voice())
    , pill(ports.pill())
    , ports_(std::move(ports))
    , args_(std::move(args))
{
}

AppController::~AppController()
{
    *ending_ = true;
    // The timers' blocks hold the controller weakly; nothing of it may run again.
    for (auto* timer : {&recTimer, &activityTimer, &todoTimer, &blinkTimer, &voicePoll, &reviewTimer, &wrapTimer})
        if (*timer)
            ports_.scheduler->cancel(**timer);
}

void AppController::uncaught(const std::exception_ptr& error)
{
    slog(QStringLiteral("background work failed: ") + Log::oneLine(Failure::text(error)));
}

Coach& AppController::coach()
{
    if (!coach_)
        coach_ = std::make_unique<Coach>(settings.d());
    return *coach_;
}

bool AppController::diagnostic() const
{
    for (const char* s : {"--dump-menu", "--ui-check", "--board-check"})
        if (args_.contains(QLatin1String(s)))
            return true;
    return false;
}

void AppController::openURL(const QString& url)
{
    ports_.board->openDeepLink(url);
}

void AppController::reopen()
{
    ports_.board->show();
}
