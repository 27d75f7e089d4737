// The platform checks: a device sign-in, the account and its projects, a wrong
// key, then the sample session scored, uploaded, filed, moved and deleted, and
// the endpoints of a day of work, all on throw-away settings and a throw-away
// keyring service that are removed again on every road out.

#include "activity/TodoStore.h"
#include "core/API.h"
#include "core/Accounts.h"
#include "core/Clock.h"
#include "core/Fmt.h"
#include "core/Json.h"
#include "core/Keychain.h"
#include "core/Net.h"
#include "core/Settings.h"
#include "core/SignInError.h"
#include "core/Strings.h"
#include "core/WebPlatform.h"
#include "platform/AppId.h"
#include "platform/Wording.h"
#include "selftest/Live.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/ThrowAway.h"
#include "session/Router.h"
#include "session/Session.h"
#include "session/Uploader.h"

#include <QFuture>
#include <QJsonArray>
#include <QMap>
#include <QProcess>
#include <chrono>
#include <cmath>
#include <thread>

namespace SelfTest {

namespace {

// How long the self-test waits for a person to approve the sign-in; the code
// itself may live much longer.
constexpr double approvalWait = 300;

// An account key no platform issues.
const QString wrongKey = QStringLiteral("zv_wrong");

QString suiteName()
{
    return QString::fromLatin1(appId) + QStringLiteral(".selftest.platform");
}

// Gone means the server no longer finds it: a GET answering 404.
bool callGone(const API& api, const QString& id, QString& why)
{
    return gone(api, QStringLiteral("GET"), QStringLiteral("/api/calls/") + urlComponent(id),
                QStringLiteral("the call is still there"), why);
}

// Everything the suite set up, undone once whichever way it ends.
struct Stores {
    ThrowAway::KeyringService service; // the account key lands under the throw-away service
    Stores()
    {
        ThrowAway::noteKeyringItem(QLatin1String(Keychain::accountItem));
        Settings::removeSuite(suiteName());
    }
    ~Stores()
    {
        Keychain::remove(QLatin1String(Keychain::accountItem));
        Settings::removeSuite(suiteName());
    }
};

struct Run {
    RunContext& ctx;
    QString base;
    Accounts& accounts;
    bool appPaths;
    bool accountPassed = false; // the account check passed
};

// Steps 1 to 5: sign-in, account, wrong key. False when the suite must stop.
bool signInAndAccount(Run& r)
{
    std::optional<QString> code;
    std::optional<Url> approvalURL;
    bool opened = false;
    const bool noBrowser = qEnvironmentVariable("ZELVAN_NO_BROWSER") == QStringLiteral("1");
    const auto onCode = [&](const DeviceStart& start) {
        code = start.userCode;
        approvalURL = start.verifyURL;
        report().note(QStringLiteral("… code ") + start.userCode + QStringLiteral(", approve at ")
                      + start.verifyURL.text() + QStringLiteral(" (waiting up to ") + QString::number(int(approvalWait))
                      + QStringLiteral(" s)"));
        // The self-test's application object draws offscreen and has no desktop
        // services; the desktop's opener is asked directly.
        if (!noBrowser)
            opened = QProcess::startDetached(QStringLiteral("xdg-open"), {start.verifyURL.text()});
    };
    // The wait ends at the self-test's own limit, well before a code's lifetime.
    const auto started = std::chrono::steady_clock::now();
    const auto pause = [&](double seconds) {
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double left = approvalWait - spent;
        std::this_thread::sleep_for(std::chrono::duration<double>(std::max(0.0, std::min(seconds, left))));
        return seconds <= left;
    };
    try {
        const WebPlatform::Approval a = WebPlatform::deviceFlow(r.base, onCode, pause);
        if (!r.accounts.signIn(a.key, a.email, a.name))
            check(false, QStringLiteral("device flow"), QStringLiteral("the keyring refused the account key"));
    } catch (const WebPlatform::Cancelled&) {
        check(false, QStringLiteral("device flow"),
              QStringLiteral("not approved within ") + QString::number(int(approvalWait))
                  + QStringLiteral(" s, the self-test's limit"));
    } catch (const std::exception& e) {
        check(false, QStringLiteral("device flow"), describe(e));
    }

    const QString shown = QStringLiteral("POST device/start -> user code shown, ");
    // Whether a browser then shows the page is the opener's business: the name
    // says only what the self-test did.
    const QString page = noBrowser ? QStringLiteral("approval page not opened (ZELVAN_NO_BROWSER=1)")
        : opened                   ? QStringLiteral("approval page handed to xdg-open")
                                   : QStringLiteral("approval page not opened (xdg-open did not start)");
    // The person can open the printed address by hand, so a browser that would not
    // start only changes the name.
    check(code && approvalURL && approvalURL->text().contains(QStringLiteral("code=")), shown + page,
          approvalURL ? approvalURL->text() : QStringLiteral("-"));

    Settings& settings = r.accounts.settings();
    const auto key = Keychain::get(QLatin1String(Keychain::accountItem));
    check(r.accounts.signedIn() && key && !key->isEmpty(),
          Wording::shown(QStringLiteral("POST device/poll until ok -> account key in the Keychain")),
          settings.accountEmail().value_or(QStringLiteral("-")) + QStringLiteral(" / ")
              + settings.accountName().value_or(QStringLiteral("-")));
    // A failed sign-in has failed the check above; nothing after it can run.
    if (!r.accounts.signedIn())
        return false;

    try {
        const WebPlatform::Account account = WebPlatform::me(r.base, r.accounts.accountKey());
        r.accounts.apply(account.account, account.projects);
        // Every project must be on the expected kind of root, not just one of them.
        bool allExpected = true;
        QStringList entries;
        for (const Workspace& p : account.projects) {
            const QString slug = p.slug.value_or(QString());
            const QString want = r.appPaths ? QStringLiteral("/app/p/") + slug + QStringLiteral("/api")
                                            : QStringLiteral("/api/v1/p/") + slug;
            allExpected = allExpected && p.apiRoot && !slug.isEmpty() && p.apiRoot->endsWith(want);
            entries << slug + u'(' + p.seat.value_or(QStringLiteral("-")) + QStringLiteral(") ")
                    + p.apiRoot.value_or(QString());
        }
        const QString name = r.appPaths
            ? QStringLiteral("GET /api/v1/me 404 on a local platform -> /app/api/platform/me, projects on "
                             "/app/p/<slug>/api")
            : QStringLiteral("GET /api/v1/me with the account key, projects on /api/v1/p/<slug>");
        r.accountPassed = !account.projects.empty() && r.accounts.projectMode() && allExpected;
        check(r.accountPassed, name, entries.join(QStringLiteral(", ")));
    } catch (const std::exception& e) {
        check(false, QStringLiteral("GET /api/v1/me"), describe(e));
        return false;
    }

    try {
        WebPlatform::me(r.base, wrongKey);
        check(false, QStringLiteral("a wrong key is refused"));
    } catch (const APIError& e) {
        check(e.status() == 401 || e.status() == 403,
              QStringLiteral("a wrong key is refused (") + QString::number(e.status()) + u')');
    } catch (const std::exception& e) {
        check(false, QStringLiteral("a wrong key is refused"), describe(e));
    }
    return true;
}

void uploadToProject(Run& r, const Workspace& target, const API& api)
{
    Session& s = *r.ctx.session;
    try {
        const QString name = api.me();
        const QString id = Uploader::upload(s, api, name, false, true, progress);
        const QJsonObject detail = api.callDetail(id);
        check(detail.value(QStringLiteral("has_audio")) == QJsonValue(true)
                  && detail.value(QStringLiteral("source")) == QJsonValue(QStringLiteral("mac"))
                  && s.meta().uploadedServer == api.endpoint() && target.apiRoot == api.endpoint(),
              QStringLiteral("upload to ") + target.name + QStringLiteral(": POST ") + api.endpoint()
                  + QStringLiteral("/calls + /audio"),
              id + QStringLiteral(" has_audio=") + valueText(detail.value(QStringLiteral("has_audio"))));
        api.json(QStringLiteral("DELETE"), QStringLiteral("/api/calls/") + urlComponent(id));
        QString why;
        check(callGone(api, id, why), QStringLiteral("test call deleted"), why);
    } catch (const std::exception& e) {
        check(false, QStringLiteral("upload to project ") + target.name, describe(e));
    }
}

void personal(Run& r, const std::vector<std::pair<Workspace, API>>& connected)
{
    const auto personalAPI = r.accounts.personalAPI();
    if (!personalAPI)
        return;
    Session& s = *r.ctx.session;
    const API& papi = *personalAPI;
    try {
        const QString pid = Uploader::upload(s, papi, r.accounts.settings().accountName(), false, true, progress);
        const QJsonObject pdetail = papi.callDetail(pid);
        check(s.meta().uploadedServer == papi.endpoint()
                  && pdetail.value(QStringLiteral("project")) == QJsonValue(QStringLiteral("personal")),
              QStringLiteral("upload to Personal: POST ") + papi.endpoint() + QStringLiteral("/calls + /audio"), pid);

        if (!connected.empty() && connected.front().first.slug) {
            const QString slug = *connected.front().first.slug;
            const QString name = QStringLiteral("move Personal → ") + slug
                + QStringLiteral(" → Personal (POST …/calls/<id>/move {to})");
            const auto move = [](const API& api, const QString& id, const QString& to) {
                const QJsonObject answer = api.json(QStringLiteral("POST"),
                                                    QStringLiteral("/api/calls/") + urlComponent(id)
                                                        + QStringLiteral("/move"),
                                                    QJsonObject{{QStringLiteral("to"), to}});
                return Json::str(answer.value(QStringLiteral("id"))).value_or(id);
            };
            const QString id2 = move(papi, pid, slug);
            const auto projectAPI = r.accounts.apiForDest(slug);
            if (!projectAPI) {
                check(false, name, QStringLiteral("no client for ") + slug);
            } else {
                // Each move is read back from where the call should now be.
                const QString in2 = valueText(projectAPI->callDetail(id2).value(QStringLiteral("project")));
                const QString id3 = move(*projectAPI, id2, QStringLiteral("personal"));
                const QString in3 = valueText(papi.callDetail(id3).value(QStringLiteral("project")));
                check(in2 == slug && in3 == QStringLiteral("personal"), name,
                      pid + QStringLiteral(" → ") + id2 + QStringLiteral(" → ") + id3 + QStringLiteral(" (project ")
                          + in2 + QStringLiteral(", then ") + in3 + u')');
                papi.json(QStringLiteral("DELETE"), QStringLiteral("/api/calls/") + urlComponent(id3));
                QString why;
                check(callGone(papi, id3, why), QStringLiteral("Personal test call deleted"), why);
            }
        }
    } catch (const APIError& e) {
        if (e.isMissing() && !s.meta().callId)
            missing(Wording::shown(QStringLiteral(
                        "Personal not open yet (404): the recording stays on this Mac, no fallback to a project")),
                    e.description());
        else
            check(false, QStringLiteral("Personal upload / move"), e.description());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("Personal upload / move"), describe(e));
    }

    // Whether Personal takes tasks; a task the probe made is removed again.
    try {
        const QJsonObject answer = papi.json(QStringLiteral("POST"), QStringLiteral("/api/tasks"),
                                             QJsonObject{{QStringLiteral("title"), QStringLiteral("selftest")}});
        QJsonValue idValue = answer.value(QStringLiteral("id"));
        if (idValue.isUndefined())
            idValue = answer.value(QStringLiteral("task")).toObject().value(QStringLiteral("id"));
        report().info(QStringLiteral("personal/tasks exists"));
        if (const auto tid = Json::str(idValue)) {
            try {
                papi.json(QStringLiteral("DELETE"), QStringLiteral("/api/tasks/") + urlComponent(*tid));
            } catch (const std::exception& e) {
                check(false, QStringLiteral("Personal task probe deleted"), describe(e));
            }
        } else {
            check(false, QStringLiteral("Personal task probe deleted"), QStringLiteral("the answer named no task id"));
        }
    } catch (const APIError& e) {
        if (e.isMissing())
            missing(QStringLiteral(
                "personal/tasks → 404: a card for Personal becomes a private note (text pin) in Personal"));
        else
            missing(QStringLiteral("personal/tasks: ") + e.description());
    } catch (const std::exception& e) {
        missing(QStringLiteral("personal/tasks: ") + describe(e));
    }
}

// Every project's to-dos at once, through the store the menu's Up next uses.
void upNext(const std::vector<std::pair<Workspace, API>>& connected)
{
    TodoStore store;
    // The store applies its answers on the main thread, which runs its event
    // loop while the self-test works.
    store.refresh(connected).waitForFinished();
    QMap<QString, int> counts;
    for (const Todo& t : store.items())
        ++counts[t.ws && !t.ws->name.isEmpty() ? t.ws->name : QStringLiteral("?")];
    QStringList entries;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        entries << u'"' + it.key() + QStringLiteral("\": ") + QString::number(it.value());
    QString detail = entries.isEmpty() ? QStringLiteral("[:]") : u'[' + entries.join(QStringLiteral(", ")) + u']';
    if (store.error())
        detail += u' ' + *store.error();
    // A project without to-dos (404) is an older server, unless strict.
    const bool outdated = strict() && !store.outdated().isEmpty();
    if (outdated)
        detail += QStringLiteral(" 404 from ") + store.outdated().join(QStringLiteral(", "));
    check(!store.error() && store.loaded() && !outdated, QStringLiteral("Up next from every project (my/todos)"),
          detail);
}

void projectEndpoints(const Workspace& target, const API& api)
{
    try {
        const QDateTime now = Clock::current().now();
        const QString day = Fmt::day(now);
        api.uploadWorkday(day, workMinute(now));
        const WrapRead read = readWrap(api, day);
        check(!read.fault, QStringLiteral("workday + wrap status on ") + target.name,
              read.fault.value_or(read.wrap.status));

        const API::Coaching c = api.coachLive(QJsonObject{{QStringLiteral("started"), Fmt::iso(now)},
                                                          {QStringLiteral("t"), 1},
                                                          {QStringLiteral("ocr"), QJsonArray()},
                                                          {QStringLiteral("apps"), QJsonArray()},
                                                          {QStringLiteral("pins"), QJsonArray()},
                                                          {QStringLiteral("kind"), QStringLiteral("session")}});
        check(!c.tip && c.nextAfter, QStringLiteral("coach/live on ") + target.name,
              QStringLiteral("next_after_s ") + wholeSeconds(c.nextAfter));

        const QString cardName = QStringLiteral("POST /api/tasks + DELETE on ") + target.name;
        const auto tid = api.createTask(QStringLiteral("Zelvan selftest card (delete me)"), QStringLiteral("selftest"));
        if (!tid) {
            check(false, cardName, QStringLiteral("the answer named no task id"));
            return;
        }
        // No second look: a DELETE may be idempotent, and there is no GET for a card.
        const QJsonObject answer = api.json(QStringLiteral("DELETE"), QStringLiteral("/api/tasks/") + urlComponent(*tid));
        check(!refused(answer), cardName, refused(answer) ? valueText(answer) : QString());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("project endpoints"), describe(e));
    }
}

} // namespace

void platformChecks(RunContext& ctx)
{
    const auto base = arg(ctx.args, QStringLiteral("--platform"));
    if (!base)
        return;
    Stores stores;
    auto store = Settings::suite(suiteName());
    if (!store) {
        check(false, QStringLiteral("platform checks"), QStringLiteral("no throw-away settings"));
        return;
    }
    store->setValue(Settings::name(Settings::Key::platformBase), *base);
    store->sync();
    Settings settings(std::move(store));
    Accounts accounts(settings);
    Run r{ctx, *base, accounts, ctx.args.contains(QStringLiteral("--expect-app-paths"))};

    if (!signInAndAccount(r))
        return;

    // Routing and the project to test on.
    const std::vector<std::pair<Workspace, API>> connected = accounts.connected();
    const SessionMeta meta = ctx.session ? ctx.session->meta() : SessionMeta{};
    const std::vector<RouteResult> results =
        Router::scoreAll(connected, meta.title, QStringLiteral("Screen"), {}, Router::text(meta)).result();
    QStringList scores;
    for (const RouteResult& res : results)
        scores << res.ws.name + u' ' + QString::number(res.percent()) + u'%';
    check(results.size() == connected.size(), QStringLiteral("route/score on every project"),
          scores.join(QStringLiteral(", ")));

    std::optional<Workspace> target;
    if (const auto verdict = Router::decide(results))
        target = verdict->best.ws;
    else if (!connected.empty())
        target = connected.front().first;
    if (!target) {
        // An account without projects has failed the account check already: one
        // cause, one failed line.
        if (r.accountPassed)
            check(false, QStringLiteral("a project to test on"), QStringLiteral("the account has no connected project"));
        return;
    }
    const auto api = accounts.apiFor(target);
    if (!api) {
        check(false, QStringLiteral("a project to test on"), QStringLiteral("no client for ") + target->name);
        return;
    }

    if (ctx.session) {
        uploadToProject(r, *target, *api);
        personal(r, connected);
    } else {
        check(false, QStringLiteral("sample session to upload"), QStringLiteral("the session checks did not make one"));
    }
    upNext(connected);
    projectEndpoints(*target, *api);
}

} // namespace SelfTest
