#include "app/AppController.h"

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
    // The timers' blocks hold the controller weakly; nothing of it may run again.
    for (auto* timer : {&recTimer, &activityTimer, &todoTimer, &blinkTimer, &voicePoll, &reviewTimer, &wrapTimer})
        if (*timer)
            ports_.scheduler->cancel(**timer);
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

// Seams of flows built elsewhere: each does the least the launch needs.

void AppController::retryPersonal(bool) {}
void AppController::retryUploads() {}

// Seams the menu's actions reach; the filing and upload flows fill them in.
void AppController::choose(const std::shared_ptr<Session>&, const Choice&) {}
void AppController::finish(const std::shared_ptr<Session>&) {}

// The answers of the where-question: the suggested one first, then Personal
// (signed in only), the scored projects best first, the other connected ones.
std::vector<AppController::Choice> AppController::whereChoices(const Session& session)
{
    const QString key = session.dir();
    const std::vector<RouteResult> scores = routeScores.value(key);
    const std::optional<Suggestion> suggestion = routeSuggest.contains(key) ? std::optional(routeSuggest.value(key))
                                                                            : std::nullopt;
    std::vector<Choice> built;
    if (accounts.signedIn())
        built.push_back({true, std::nullopt, QStringLiteral("Personal (private)"), suggestion && !suggestion->project});
    QSet<QUuid> scored;
    for (const RouteResult& r : scores) {
        scored.insert(r.ws.id);
        built.push_back({false, r.ws, r.ws.name + QStringLiteral(" · ") + QString::number(r.percent()) + u'%',
                         suggestion && suggestion->project && suggestion->project->ws.id == r.ws.id});
    }
    for (const auto& [ws, api] : accounts.connected())
        if (!scored.contains(ws.id))
            built.push_back({false, ws, ws.name, false});
    std::stable_partition(built.begin(), built.end(), [](const Choice& c) { return c.suggested; });
    return built;
}
