#include "app/Reviews.h"
#include "core/API.h"
#include "core/Accounts.h"
#include "core/Address.h"
#include "core/Keychain.h"
#include "core/Settings.h"
#include "core/WebPlatform.h"
#include "core/Workspace.h"
#include "platform/Wording.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "selftest/ThrowAway.h"
#include "session/Router.h"
#include "session/SessionMeta.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString webBase = Address::defaultBase;
const QString localBase = QStringLiteral("http://127.0.0.1:7440");
const QString email = QStringLiteral("varra@example.com");
const QString oneKey = QStringLiteral("k");

QString webHost()
{
    const auto url = Url::parse(webBase);
    return url && url->host() ? *url->host() : webBase;
}

QString urlOf(const std::optional<API>& api, const QString& path)
{
    if (!api)
        return {};
    const auto url = api->url(path);
    return url ? url->text() : QString();
}

QString pollText(const PollResult& r)
{
    switch (r.kind) {
    case PollResult::Kind::ok:
        return QStringLiteral("ok(key: %1, email: %2, name: %3)")
            .arg(r.key.isEmpty() ? QStringLiteral("\"\"") : QStringLiteral("…"), r.email,
                 r.name ? u'"' + *r.name + u'"' : QStringLiteral("nil"));
    case PollResult::Kind::failed:
        return QStringLiteral("failed(\"%1\")").arg(r.message);
    case PollResult::Kind::pending:
        return QStringLiteral("pending");
    case PollResult::Kind::expired:
        return QStringLiteral("expired");
    case PollResult::Kind::denied:
        return QStringLiteral("denied");
    }
    return {};
}

QStringList namesOf(const std::vector<std::pair<Workspace, API>>& connected)
{
    QStringList names;
    for (const auto& [ws, api] : connected)
        names << ws.name;
    return names;
}

QJsonObject accountAnswer()
{
    const auto project = [](const char* slug, const char* name, const char* seat, const char* url) {
        QJsonObject o{{"slug", slug}, {"name", name}, {"seat", seat}};
        if (url)
            o.insert(QStringLiteral("url"), url);
        return o;
    };
    return QJsonObject{
        {"account", QJsonObject{{"id", 7}, {"email", email}, {"name", "Varra"}}},
        {"projects",
         QJsonArray{project("bramel", "Bramel", "owner", "/app/p/bramel/#/board"),
                    project("tovarind", "Tovarind", "member", "/app/p/tovarind/#/board"),
                    project("client-x", "Client X", "contact", "/app/p/client-x/#/board"),
                    project("bramel", "Bramel (dup)", "lead", nullptr)}},
        {"invites", QJsonArray{}},
    };
}

} // namespace

namespace SelfTest {

void reviewSuggestionsCheck(const OpenSuggestions& open)
{
    // Numbers for "i", as the server sends them; one open, one dismissed, one accepted.
    const QJsonObject detail{
        {QStringLiteral("suggestions"),
         QJsonArray{QJsonObject{{QStringLiteral("i"), 0},
                                {QStringLiteral("title"), QStringLiteral("Automate the export")},
                                {QStringLiteral("why"), QStringLiteral("3× by hand")}},
                    QJsonObject{{QStringLiteral("i"), 1},
                                {QStringLiteral("title"), QStringLiteral("Old")},
                                {QStringLiteral("state"), QStringLiteral("dismissed")}},
                    QJsonObject{{QStringLiteral("i"), 2},
                                {QStringLiteral("title"), QStringLiteral("Done")},
                                {QStringLiteral("state"), QStringLiteral("accepted")}}}}};
    const std::vector<ReviewSuggestion> result = open(detail);
    const bool ok = result.size() == 1 && result.front().title == QStringLiteral("Automate the export")
        && result.front().i == QStringLiteral("0");
    QStringList got;
    if (!ok)
        for (const ReviewSuggestion& r : result)
            got << r.i + QStringLiteral(": ") + r.title;
    check(ok, QStringLiteral("review suggestions: open ones only (accepted / dismissed left out)"),
          ok ? QString() : QStringLiteral("offered ") + quotedList(got));
}


void accountChecks(const QString& suite)
{
    const QString withSlash = webBase + u'/';

    // The account protocol, on literal answers.
    const auto a = WebPlatform::parseStart(QJsonObject{{"device_code", "dc_1"},
                                                       {"user_code", "JDPQ-7350"},
                                                       {"verify_url", "/app/device?code=JDPQ-7350"}},
                                           withSlash);
    const auto b = WebPlatform::parseStart(QJsonObject{{"device_code", "dc_2"},
                                                       {"user_code", "AB"},
                                                       {"verify_url",
                                                        QStringLiteral("https://") + webHost()
                                                            + QStringLiteral("/app/device?code=AB")},
                                                       {"interval", 5}},
                                           localBase);
    const auto c = WebPlatform::parseStart(QJsonObject{{"user_code", "Q"}}, webBase);
    check(a && a->verifyURL.text() == webBase + QStringLiteral("/app/device?code=JDPQ-7350")
              && a->userCode == QStringLiteral("JDPQ-7350") && a->interval == 3 && b && b->verifyURL.host() == webHost()
              && b->interval == 5 && !c,
          QStringLiteral("device/start: {device_code, user_code, verify_url} (relative url resolved on the server; "
                         "missing code rejected)"),
          a ? a->verifyURL.text() : QStringLiteral("nil"));

    const QString key = QStringLiteral("zv_abc");
    const std::vector<std::pair<QJsonObject, PollResult>> polls{
        {{{"status", "pending"}}, PollResult::pending()},
        {{{"status", "ok"}, {"key", key}, {"account", QJsonObject{{"email", email}, {"name", "Varra"}}}},
         PollResult::ok(key, email, QStringLiteral("Varra"))},
        {{{"status", "ok"}, {"key", key}, {"account", QJsonObject{{"email", email}, {"name", ""}}}},
         PollResult::ok(key, email, std::nullopt)},
        {{{"status", "ok"}, {"account", QJsonObject{{"email", email}}}},
         PollResult::failed(QStringLiteral("the server approved the sign-in but sent no key"))},
        {{{"status", "expired"}}, PollResult::expired()},
        {{{"status", "denied"}}, PollResult::denied()},
    };
    QStringList wrong;
    for (const auto& [answer, expected] : polls) {
        const PollResult got = WebPlatform::parsePoll(answer);
        if (!(got == expected))
            wrong << QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)) + QStringLiteral(" -> ")
                    + pollText(got);
    }
    check(wrong.isEmpty(), QStringLiteral("device/poll: pending, ok {key, account}, ok without key, expired, denied"),
          wrong.join(QStringLiteral("; ")));

    const QJsonObject answer = accountAnswer();
    const auto web = WebPlatform::parseMe(answer, webBase);
    const auto local = WebPlatform::parseMe(answer, localBase, true);
    const auto noAccount = WebPlatform::parseMe(QJsonObject{{"projects", QJsonArray{}}}, webBase);
    QStringList slugs, listed;
    if (web)
        for (const Workspace& w : web->projects) {
            slugs << w.slug.value_or(QString());
            listed << w.name + u'/' + w.seat.value_or(QStringLiteral("-"));
        }
    check(web && web->account.email == email && web->account.name == QStringLiteral("Varra")
              && slugs == QStringList{QStringLiteral("bramel"), QStringLiteral("tovarind")}
              && web->projects[0].seat == QStringLiteral("owner") && !noAccount,
          QStringLiteral("GET /me: account + projects (contacts left out, duplicates once)"),
          listed.join(QStringLiteral(", ")));

    const std::optional<Workspace> p = web && !web->projects.empty() ? std::optional(web->projects[0]) : std::nullopt;
    const std::optional<Workspace> l = local && !local->projects.empty() ? std::optional(local->projects[0])
                                                                         : std::nullopt;
    bool projectPaths = p && l;
    if (projectPaths) {
        const auto board = p->link(QStringLiteral("board"));
        const API onP(p->base(), oneKey, p->apiRoot);
        const API onL(l->base(), oneKey, l->apiRoot);
        const QString legacyServer = QStringLiteral("https://bramel.") + Address::serviceDomain;
        const API legacy(legacyServer, oneKey);
        projectPaths = p->base() == webBase + QStringLiteral("/app/p/bramel") && board
            && board->text() == webBase + QStringLiteral("/app/p/bramel/#/board")
            && urlOf(onP, QStringLiteral("/api/my/todos")) == webBase + QStringLiteral("/api/v1/p/bramel/my/todos")
            && urlOf(onP, QStringLiteral("/api/calls/rec%3A1/audio"))
                == webBase + QStringLiteral("/api/v1/p/bramel/calls/rec%3A1/audio")
            && urlOf(onL, QStringLiteral("/api/my/todos")) == localBase + QStringLiteral("/app/p/bramel/api/my/todos")
            && urlOf(legacy, QStringLiteral("/api/my/todos")) == legacyServer + QStringLiteral("/api/my/todos")
            && p->id == WebPlatform::projectID(withSlash, QStringLiteral("bramel"))
            && p->id != WebPlatform::projectID(localBase, QStringLiteral("bramel"));
    }
    check(projectPaths,
          QStringLiteral("project calls on <base>/api/v1/p/<slug>/… (local dev fallback /app/p/<slug>/api/…, legacy "
                         "/api/…), board link /app/p/<slug>/#/board, stable id"),
          p && p->apiRoot ? *p->apiRoot : QStringLiteral("nil"));

    QJsonObject withPersonal = answer;
    withPersonal.insert(QStringLiteral("personal"), QJsonObject{{"calls_url", "/api/v1/personal/calls"}});
    const auto personal = WebPlatform::parseMe(withPersonal, webBase);
    const QString root = webBase + QStringLiteral("/api/v1/personal");
    const std::optional<QString> personalRoot = personal ? personal->account.personalRoot : std::nullopt;
    const API personalAPI(webBase + QStringLiteral("/app"), oneKey, personalRoot);
    check(personalRoot == root && web && web->account.personalRoot == root && local
              && local->account.personalRoot == localBase + QStringLiteral("/app/api/platform/personal")
              && urlOf(personalAPI, QStringLiteral("/api/calls")) == root + QStringLiteral("/calls")
              && urlOf(personalAPI, QStringLiteral("/api/calls/rec%3A1/move"))
                  == root + QStringLiteral("/calls/rec%3A1/move"),
          QStringLiteral("Personal: POST <base>/api/v1/personal/calls (+ /<id>/audio, /move), from "
                         "me.personal.calls_url"),
          personalRoot.value_or(QStringLiteral("nil")));

    // Filing suggestions.
    const Workspace wa(QStringLiteral("Bramel"), QStringLiteral("http://a"));
    const Workspace wb(QStringLiteral("Zelvan"), QStringLiteral("http://b"));
    const std::vector<RouteResult> r1{{wa,
                                       0.77,
                                       {QStringLiteral("\"Bramel\" on screen 4×"), QStringLiteral("repo bramel")}},
                                      {wb, 0.25, {}}};
    const std::vector<RouteResult> r2{{wa,
                                       0.93,
                                       {QStringLiteral("with Oxel, Tamsk"), QStringLiteral("\"Bramel\" on screen 2×")}},
                                      {wb, 0.2, {}}};
    const std::vector<RouteResult> r3{{wa, 0.92, {QStringLiteral("Oxel in the title")}}, {wb, 0.1, {}}};
    const std::vector<RouteResult> r4{{wa, 0.7, {QStringLiteral("with Oxel")}},
                                      {wb, 0.6, {QStringLiteral("with Varra")}}};
    const Suggestion sg1 = Router::suggest(r1, false, true);
    const Suggestion sg2 = Router::suggest(r1, true, true);
    const Suggestion sg3 = Router::suggest(r2, true, false);
    const Suggestion sg4 = Router::suggest(r2, true, true);
    const Suggestion sg5 = Router::suggest(r3, true, true);
    const Suggestion sg6 = Router::suggest(r2, false, true);
    const Suggestion sg7 = Router::suggest(r4, true, true);
    check(!sg1.project && !sg1.autoFile && !sg2.project && !sg2.autoFile && !sg6.project && !sg7.project,
          QStringLiteral("suggest Personal: work session (the Bramel 77% incident), call with only screen text, a "
                         "close call"),
          QStringList{sg1.label(), sg2.label(), sg7.label()}.join(QStringLiteral(" | ")));
    const auto named = [](const Suggestion& s) { return s.project && s.project->ws.name == QStringLiteral("Bramel"); };
    check(named(sg3) && !sg3.autoFile && sg3.label() == QStringLiteral("Bramel · with Oxel, Tamsk") && named(sg5)
              && !sg5.autoFile && sg4.autoFile && named(sg4),
          QStringLiteral("suggest a project for a team call (people / meeting title); auto-file only opt-in + ≥ 90% + "
                         "participants"),
          sg3.label() + QStringLiteral(" | auto ") + (sg4.autoFile ? QStringLiteral("true") : QStringLiteral("false")));

    SessionMeta meta;
    meta.title = QStringLiteral("x");
    meta.app = QStringLiteral("Zoom");
    meta.started = QDateTime::currentDateTimeUtc();
    const bool before = meta.isCall();
    meta.fromCall = true;
    check(!before && meta.isCall(), QStringLiteral("a recording is a call when picked up as one (else a work session)"));
    reviewSuggestionsCheck();

    // The account states of one store, signed out to signed in with projects and back.
    ThrowAway::removeSuite();
    auto store = Settings::suite(suite);
    if (!store || !web || !personal) {
        check(false, QStringLiteral("account settings checks"),
              !store ? QStringLiteral("the throw-away defaults suite cannot be opened")
                     : QStringLiteral("the account answer did not parse"));
        return;
    }
    Settings s(std::move(store));
    Accounts acc(s);
    const Workspace legacy = s.workspaces().front();
    ThrowAway::noteKeyringItem(QLatin1String(Keychain::accountItem));
    ThrowAway::noteKeyringItem(legacy.id.toString(QUuid::WithoutBraces).toUpper());
    acc.setKey(QStringLiteral("ow_abcdef_1"), legacy);
    const auto homeName = [](Accounts& x) { return x.home() ? x.home()->name : QString(); };
    check(!acc.signedIn() && !acc.projectMode() && acc.showLegacy() && acc.targets().size() == 2
              && namesOf(acc.connected()) == QStringList{QStringLiteral("Bramel")}
              && homeName(acc) == QStringLiteral("Bramel") && s.platformBase() == webBase,
          QStringLiteral("not signed in: legacy servers with a key are used (backward compatible), default base ")
              + webHost());

    const QString k2 = QStringLiteral("zv_qwertyui_2");
    acc.signIn(k2, email, QStringLiteral("Varra"));
    check(acc.signedIn() && Keychain::get(QLatin1String(Keychain::accountItem)) == k2 && !acc.projectMode()
              && acc.showLegacy() && acc.connected().size() == 1,
          Wording::shown(QStringLiteral("signed in, no project yet: key in the Keychain (account \"account\"), legacy "
                                        "still used")));

    acc.apply(web->account, web->projects);
    bool keys = true, noLegacy = true;
    for (const auto& [ws, api] : acc.connected())
        keys = keys && api.key() == k2;
    for (const Workspace& t : acc.targets())
        noLegacy = noLegacy && t.id != legacy.id;
    const auto board = acc.boardURL();
    check(acc.projectMode() && !acc.showLegacy()
              && namesOf(acc.connected()) == QStringList{QStringLiteral("Bramel"), QStringLiteral("Tovarind")} && keys
              && noLegacy && !acc.workspace(legacy.id) && acc.home() && acc.home()->slug == QStringLiteral("bramel")
              && board && board->text() == webBase + QStringLiteral("/app"),
          QStringLiteral("with projects: every project uses the account key, legacy entries hidden and never used, "
                         "board = /app"));

    s.setWorkdaySlug(QStringLiteral("tovarind"));
    acc.apply(personal->account, web->projects);
    s.setLastFiled(FiledRef{QStringLiteral("rec:1"), QStringLiteral("Weekly sync"), QStringLiteral("bramel"),
                            QDateTime::currentDateTimeUtc()});
    Settings s2(Settings::suite(suite));
    Accounts acc2(s2);
    const auto tova = acc2.workspace(web->projects.size() > 1 ? std::optional(web->projects[1].id) : std::nullopt);
    check(acc2.signedIn() && s2.accountEmail() == email && s2.projects().size() == 2 && acc2.home()
              && acc2.home()->slug == QStringLiteral("tovarind") && tova && tova->name == QStringLiteral("Tovarind")
              && s2.lastFiled() && s2.lastFiled()->dest == QStringLiteral("bramel") && !s2.autoFileTeamCalls()
              && urlOf(acc2.personalAPI(), QStringLiteral("/api/calls"))
                  == webBase + QStringLiteral("/api/v1/personal/calls")
              && urlOf(acc2.apiForDest(QStringLiteral("bramel")), QStringLiteral("/api/calls/rec%3A1/move"))
                  == webBase + QStringLiteral("/api/v1/p/bramel/calls/rec%3A1/move"),
          QStringLiteral("account, projects, work-day project, Personal and the last filed recording persist; "
                         "auto-file is off by default"));

    s.d().setValue(Settings::name(Settings::Key::platformBase), localBase);
    s.d().sync();
    Settings s3(Settings::suite(suite));
    Accounts acc3(s3);
    check(s3.platformBase() == localBase && s3.projects().empty() && !acc3.projectMode(),
          QStringLiteral("platformBase is configurable (defaults); cached projects of another server are not used"));

    acc2.signOut();
    check(!acc2.signedIn() && !Keychain::get(QLatin1String(Keychain::accountItem)) && s2.projects().empty()
              && acc2.showLegacy() && namesOf(acc2.connected()) == QStringList{QStringLiteral("Bramel")}
              && !acc2.personalAPI() && !s2.lastFiled(),
          Wording::shown(
              QStringLiteral("sign out: key removed from the Keychain, projects gone, legacy servers back")));

    acc2.remove(legacy);
    ThrowAway::removeSuite();
}

} // namespace SelfTest
