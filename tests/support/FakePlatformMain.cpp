// zelvan-fake-platform: the test platform as a process of its own, so that the
// self-test and the board check can be run against it from a shell or by CI.
//
// One server on 127.0.0.1 holds three things: a legacy workspace server under
// "/api" (it wants the key printed on the second line), the web platform (device
// sign-in, account, project and Personal roots) and its web board ("/app" and
// the app-session exchange). The first line of output is the address.

#include "support/BoardSite.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/WorkspaceServer.h"

#include <QByteArray>
#include <QString>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

constexpr const char* workspaceKey = "ow_fake1";

constexpr const char* usage = R"(Usage: zelvan-fake-platform [--port N] [--auto-approve] [--app-paths]
                            [--idempotent-delete] [--wrap-running]
                            [--fail [METHOD ]PATH=STATUS]...

  --port N          listen on 127.0.0.1:N (default: a free port)
  --auto-approve    approve every device sign-in at its first poll; without it
                    the sign-in waits until its code is approved at /app/device
  --app-paths       serve the account and the projects on the development
                    server's paths (/app/api/platform/…, /app/p/<slug>/api)
  --idempotent-delete  DELETE of a call or task that is already gone answers
                    200, not 404
  --wrap-running    the day's wrap status is "running" (a wrap the person
                    started elsewhere)
  --fail R=S        answer every request whose path matches the regular
                    expression R (and METHOD, when given) with status S

Prints the address on its first line and the workspace server's key on the
second, then serves until it is stopped.
)";

struct FailRule {
    std::vector<std::string> methods;
    std::string pattern;
    int status = 0;
};

// "[METHOD ]PATH=STATUS"; nothing when the text has another form.
std::optional<FailRule> parseFail(const std::string& text)
{
    const auto eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0)
        return std::nullopt;
    char* end = nullptr;
    const long status = std::strtol(text.c_str() + eq + 1, &end, 10);
    if (end == text.c_str() + eq + 1 || *end != '\0' || status < 100 || status > 599)
        return std::nullopt;
    FailRule rule;
    rule.status = int(status);
    std::string route = text.substr(0, eq);
    if (const auto blank = route.find(' '); blank != std::string::npos) {
        rule.methods = {route.substr(0, blank)};
        route = route.substr(blank + 1);
    } else {
        rule.methods = {"GET", "POST", "PUT", "PATCH", "DELETE"};
    }
    if (route.empty() || route[0] != '/')
        return std::nullopt;
    rule.pattern = route;
    return rule;
}

int bad(const char* message)
{
    std::fprintf(stderr, "zelvan-fake-platform: %s\n\n%s", message, usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int port = 0;
    bool autoApprove = false;
    bool appPaths = false;
    bool idempotentDelete = false;
    bool wrapRunning = false;
    std::vector<FailRule> failures;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long p = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || p < 0 || p > 65535)
                return bad("--port wants a number from 0 to 65535");
            port = int(p);
        } else if (a == "--auto-approve") {
            autoApprove = true;
        } else if (a == "--app-paths") {
            appPaths = true;
        } else if (a == "--idempotent-delete") {
            idempotentDelete = true;
        } else if (a == "--wrap-running") {
            wrapRunning = true;
        } else if (a == "--fail" && i + 1 < argc) {
            const auto rule = parseFail(argv[++i]);
            if (!rule)
                return bad("--fail wants [METHOD ]PATH=STATUS, e.g. /api/coach/live=404");
            failures.push_back(*rule);
        } else {
            return bad(("unknown argument " + a).c_str());
        }
    }

    // SIGINT and SIGTERM are waited for below instead of ending the process at once.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    FakePlatform fake;
    fake.setPort(port);
    try {
        fake.start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zelvan-fake-platform: %s\n", e.what());
        return 1;
    }

    // Later routes win: the board's catch-all "/app…" page goes first, so that
    // the platform's own "/app/…" routes stay reachable.
    BoardSite board(fake);
    WorkspaceServer workspace(fake, WorkspaceServer::Mode::auth, workspaceKey, "/api");
    FakeWebPlatform::Options options;
    options.appPaths = appPaths;
    options.approval = autoApprove ? FakeWebPlatform::Approval::approve : FakeWebPlatform::Approval::hold;
    FakeWebPlatform web(fake, options);
    std::vector<WorkspaceServer*> roots{&workspace, &web.personal()};
    for (const FakeWebPlatform::Project& p : web.options().projects)
        roots.push_back(&web.project(p.slug));
    for (WorkspaceServer* root : roots) {
        root->setIdempotentDelete(idempotentDelete);
        root->setWrapRunning(wrapRunning);
    }

    // The approval page a person opens from the sign-in: one button.
    fake.route("GET", "/app/device", [](const httplib::Request& req, httplib::Response& res) {
        const std::string code = req.get_param_value("code");
        res.set_content(
            "<!doctype html><title>Approve sign-in</title><h1>Sign in Zelvan</h1><p>Code " + code
                + "</p><form method=\"post\" action=\"/app/device/approve\"><button>Approve</button></form>",
            "text/html; charset=utf-8");
    });
    fake.route("POST", "/app/device/approve", [&web](const httplib::Request&, httplib::Response& res) {
        web.approve();
        res.set_content("<!doctype html><title>Approved</title><h1>Approved</h1><p>You can close this page.</p>",
                        "text/html; charset=utf-8");
    });

    for (const FailRule& rule : failures)
        for (const std::string& method : rule.methods)
            fake.fail(method, rule.pattern,
                      FakePlatform::Fault{.status = rule.status, .body = "{\"error\":\"failed on purpose\"}"}, -1);

    std::printf("%s\n", fake.base().toUtf8().constData());
    std::printf("workspace key: %s\n", workspaceKey);
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    fake.stop();
    return 0;
}
