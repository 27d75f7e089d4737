#include "core/API.h"
#include "core/Net.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QCoreApplication>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <tuple>

namespace {

const QString secret = QStringLiteral("zv_secret_key_123");

class APIClient : public ::testing::Test {
protected:
    void SetUp() override { fake.start(); }

    void serve(const std::string& method, const std::string& path, int status, const std::string& body,
               const std::string& contentType = "application/json")
    {
        fake.route(method, path, [=](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            if (!body.empty())
                res.set_content(body, contentType);
        });
    }

    API client(const std::optional<QString>& root = std::nullopt) const { return API(fake.base(), secret, root); }

    // The error a call throws; fails the test when it succeeds.
    template <class F>
    static APIError errorOf(F&& call)
    {
        try {
            call();
        } catch (const APIError& e) {
            EXPECT_FALSE(e.description().contains(secret)) << "no key in an error text";
            return e;
        }
        ADD_FAILURE() << "no error thrown";
        return APIError(-1, {});
    }

    FakePlatform fake;
};

} // namespace

TEST_F(APIClient, FieldsAreCleanedButTheKeyIsKept)
{
    const API api(" http://h.example:1/// ", "  k ", QStringLiteral(" http://h.example:1/api/v1/p/demo/ "));
    EXPECT_EQ(api.server(), "http://h.example:1");
    EXPECT_EQ(api.key(), "  k ");
    EXPECT_EQ(api.apiRoot(), "http://h.example:1/api/v1/p/demo");
    EXPECT_EQ(api.endpoint(), "http://h.example:1/api/v1/p/demo");
    EXPECT_EQ(API("http://h/", "").endpoint(), "http://h");
}

TEST_F(APIClient, PathsGoBelowTheApiRootOnlyWhenTheyBeginWithApiSlash)
{
    const QString root = fake.base() + "/api/v1/p/demo/";
    struct Case {
        bool withRoot;
        const char* path;
        std::string arrives;
    };
    const Case cases[] = {
        {true, "/api/my/todos", "/api/v1/p/demo/my/todos"},
        {true, "/api/", "/api/v1/p/demo/"},
        {true, "/app/x", "/app/x"},
        {true, "/api", "/api"},
        {true, "/apix/y", "/apix/y"},
        {false, "/api/my/todos", "/api/my/todos"},
    };
    fake.route("GET", ".*",
               [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
    for (const auto& c : cases) {
        const API api = client(c.withRoot ? std::optional(root) : std::nullopt);
        fake.clearRequests();
        api.json("GET", c.path);
        const auto seen = fake.requests();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].target, c.arrives) << c.path << (c.withRoot ? " with root" : "");
        EXPECT_EQ(api.url(c.path)->text(), fake.base() + QString::fromStdString(c.arrives));
    }
}

TEST_F(APIClient, SendsTheFixedHeaderSetAndCompactJson)
{
    serve("POST", "/api/x", 200, "{}");
    serve("GET", "/api/x", 200, "{}");
    struct Case {
        QString key;
        bool body;
    };
    for (const Case& c : {Case{secret, true}, Case{secret, false}, Case{"", true}, Case{"", false}}) {
        fake.clearRequests();
        const API api(fake.base(), c.key);
        if (c.body)
            api.json("POST", "/api/x", QJsonObject{{"b", "two words"}, {"a", 1}});
        else
            api.json("GET", "/api/x");
        const auto seen = fake.requests();
        ASSERT_EQ(seen.size(), 1u);
        const auto& r = seen[0];
        SCOPED_TRACE(std::string(c.key.isEmpty() ? "no key" : "key") + (c.body ? ", body" : ", no body"));
        EXPECT_EQ(r.hasHeader("Authorization"), !c.key.isEmpty()) << "an empty key sends no Authorization";
        if (!c.key.isEmpty()) {
            EXPECT_TRUE(r.header("Authorization") == "Bearer " + secret.toStdString()) << "the bearer key";
        }
        EXPECT_EQ(r.header("Accept"), "application/json");
        EXPECT_EQ(r.header("User-Agent"), "Zelvan-mac/1.0");
        EXPECT_EQ(r.hasHeader("Content-Type"), c.body);
        if (c.body) {
            EXPECT_EQ(r.header("Content-Type"), "application/json");
            EXPECT_EQ(r.body, R"({"a":1,"b":"two words"})") << "compact";
        }
        EXPECT_FALSE(r.hasHeader("Expect"));
    }
    // A POST without a body announces none.
    fake.clearRequests();
    client().json("POST", "/api/x");
    EXPECT_FALSE(fake.requests().at(0).hasHeader("Content-Type"));
    EXPECT_EQ(fake.requests().at(0).body, "");
}

TEST_F(APIClient, JudgesAnswers)
{
    struct Case {
        int status;
        std::string body;
        std::optional<const char*> object; // the returned object, as compact JSON
        qint64 errorStatus = 0;
        const char* message = "";
    };
    const Case cases[] = {
        {200, R"({"a":1})", R"({"a":1})"},
        {201, R"([1,2])", R"({"items":[1,2]})"},
        {200, R"([])", R"({"items":[]})"},
        {204, "", std::nullopt, 204, "unexpected response (not JSON) from 127.0.0.1"},
        {200, "", std::nullopt, 200, "unexpected response (not JSON) from 127.0.0.1"},
        {200, R"("text")", std::nullopt, 200, "unexpected response (not JSON) from 127.0.0.1"},
        {200, "<html>hi</html>", std::nullopt, 200, "unexpected response (not JSON) from 127.0.0.1"},
        {200, R"({"a":)", std::nullopt, 200, "unexpected response (not JSON) from 127.0.0.1"},
        {400, R"({"error":"bad day"})", std::nullopt, 400, "bad day"},
        {400, R"({"error":3})", std::nullopt, 400, "bad request"},
        {400, "not json", std::nullopt, 400, "bad request"},
        {401, R"(["error"])", std::nullopt, 401, "unauthorized"},
        {404, R"({"error":"no such thing"})", std::nullopt, 404, "no such thing"},
        {410, "", std::nullopt, 410, "no longer exists"},
        {418, "", std::nullopt, 418, "client error"},
        {500, "", std::nullopt, 500, "internal server error"},
        {599, "", std::nullopt, 599, "server error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        serve("GET", "/api/judge", c.status, c.body);
        if (c.object) {
            EXPECT_EQ(QJsonDocument(client().json("GET", "/api/judge")).toJson(QJsonDocument::Compact), *c.object);
            continue;
        }
        const APIError e = errorOf([&] { client().json("GET", "/api/judge"); });
        EXPECT_EQ(e.status(), c.errorStatus);
        EXPECT_EQ(e.reason(), QString::fromUtf8(c.message));
        EXPECT_EQ(e.description(), QString::fromUtf8(c.message) + QStringLiteral(" (HTTP %1)").arg(c.errorStatus));
        EXPECT_EQ(e.isMissing(), c.errorStatus == 404);
    }
}

TEST_F(APIClient, CheckNamesTheServerWhenTheAnswerHasNoHost)
{
    const APIError e = errorOf([] { API::check(Http::Response{200, "", ""}); });
    EXPECT_EQ(e.reason(), "unexpected response (not JSON) from server");
    EXPECT_EQ(e.description(), "unexpected response (not JSON) from server (HTTP 200)");
}

TEST_F(APIClient, GatewayLoginWinsOverStatusAndBody)
{
    const QString gateway = "the server sent the browser login (Cloudflare Access) instead of answering the app";
    for (const auto& [status, url] :
         {std::pair{200, "https://team.cloudflareaccess.com/cdn-cgi/access/login/h"},
          std::pair{500, "https://Team.CloudflareAccess.com/x"}, std::pair{200, "https://cloudflareaccess.com/"}}) {
        const APIError e = errorOf([&] { API::check(Http::Response{status, url, R"({"error":"x"})"}); });
        EXPECT_EQ(e.status(), 403) << url;
        EXPECT_EQ(e.reason(), gateway);
    }
    EXPECT_NO_THROW(API::check(Http::Response{200, "https://notcloudflareaccess.com/", "{}"}));

    // Over HTTP: the platform redirects to the gateway, whose login page is a 200 HTML page.
    const std::string login = "team.cloudflareaccess.com:" + std::to_string(fake.port());
    API::session().pinHost("team.cloudflareaccess.com", fake.port(), "127.0.0.1");
    fake.route("GET", "/api/me", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://" + login + "/cdn-cgi/access/login/127.0.0.1");
    });
    serve("GET", "/cdn-cgi/access/login/.*", 200, "<html>Sign in</html>", "text/html");
    const APIError e = errorOf([&] { client().json("GET", "/api/me"); });
    EXPECT_EQ(e.status(), 403);
    EXPECT_EQ(e.reason(), gateway);
    const auto seen = fake.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[1].hasHeader("Authorization")) << "the key stays with the platform's host";
}

TEST_F(APIClient, RedirectsStayWithinTheOriginThatWasAsked)
{
    const std::string other = "files.example.test:" + std::to_string(fake.port());
    API::session().pinHost("files.example.test", fake.port(), "127.0.0.1");
    serve("GET", "/final", 200, R"({"ok":true})");
    serve("POST", "/final", 200, R"({"posted":true})");
    const std::string away = "http://" + other + "/final";
    for (const auto& [method, path, status, location] :
         {std::tuple{"GET", "/api/away", 302, away}, std::tuple{"POST", "/api/away-keep", 307, away},
          std::tuple{"POST", "/api/away-perm", 308, away}, std::tuple{"POST", "/api/away-get", 302, away},
          std::tuple{"POST", "/api/away-see", 303, away}, std::tuple{"GET", "/api/here", 302, std::string("/final")},
          std::tuple{"POST", "/api/keep", 307, std::string("/final")},
          std::tuple{"POST", "/api/see-other", 303, std::string("/final")}})
        fake.fail(method, path, {.status = status, .location = location}, -1);

    struct Case {
        const char* method;
        const char* path;
        const char* answer; // nothing: refused
        int requests;       // what the servers saw
        const char* finalMethod;
        bool keyFollows;
    };
    const Case cases[] = {
        // Another origin: a call without a body may go there without the key, but
        // the answer is not believed; one with a body never leaves.
        {"GET", "/api/away", nullptr, 2, "GET", false},
        {"POST", "/api/away-keep", nullptr, 1},
        {"POST", "/api/away-perm", nullptr, 1},
        {"POST", "/api/away-get", nullptr, 1},
        {"POST", "/api/away-see", nullptr, 1},
        // The same origin: followed as before, the key with it.
        {"GET", "/api/here", R"({"ok":true})", 2, "GET", true},
        {"POST", "/api/keep", R"({"posted":true})", 2, "POST", true},
        {"POST", "/api/see-other", R"({"ok":true})", 2, "GET", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        fake.clearRequests();
        const bool post = std::string(c.method) == "POST";
        const auto call = [&] {
            return client().json(c.method, c.path, post ? std::optional(QJsonObject{{"n", 1}}) : std::nullopt);
        };
        if (c.answer) {
            EXPECT_EQ(QJsonDocument(call()).toJson(QJsonDocument::Compact), c.answer);
        } else {
            const APIError e = errorOf(call);
            EXPECT_EQ(e.status(), 0);
            EXPECT_EQ(e.description(), QString::fromStdString("the server redirected the app to another server (" + other + ")"));
        }
        const auto seen = fake.requests();
        ASSERT_EQ(seen.size(), size_t(c.requests));
        EXPECT_TRUE(seen[0].header("Authorization") == "Bearer " + secret.toStdString()) << "the bearer key";
        if (c.requests < 2)
            continue;
        EXPECT_EQ(seen[1].method, c.finalMethod);
        EXPECT_EQ(seen[1].hasHeader("Authorization"), c.keyFollows);
        if (std::string(c.finalMethod) == "POST") {
            EXPECT_EQ(seen[1].body, R"({"n":1})");
        } else {
            EXPECT_EQ(seen[1].body, "");
            EXPECT_FALSE(seen[1].hasHeader("Content-Type")) << "no body, no body type";
        }
    }

    // A call with a body that the platform's gateway sends to its login page.
    fake.fail("POST", "/api/guarded",
              {.status = 302, .location = "http://team.cloudflareaccess.com:1/cdn-cgi/access/login/x"}, -1);
    fake.clearRequests();
    const APIError gate = errorOf([&] { client().json("POST", "/api/guarded", QJsonObject{{"n", 1}}); });
    EXPECT_EQ(gate.status(), 403);
    EXPECT_EQ(fake.requests().size(), 1u);
}

TEST_F(APIClient, TransportFailuresHaveStatusZeroAndAReadableMessage)
{
    FakePlatform closed;
    closed.start();
    const QString closedBase = closed.base();
    closed.stop();

    fake.fail("GET", "/api/slow", {.delay = std::chrono::milliseconds(2000)});
    fake.fail("GET", "/api/drop", {.drop = true});
    serve("GET", "/api/slow", 200, "{}");
    serve("GET", "/api/huge", 200, std::string(33 * 1024 * 1024, ' '));

    struct Case {
        const char* name;
        std::function<void()> call;
        const char* message;
    };
    const Case cases[] = {
        {"closed port", [&] { API(closedBase, secret).json("GET", "/api/me"); }, "Could not connect to the server."},
        // The answer would come after 2 s; the call gives up long before.
        {"no answer", [&] { client().json("GET", "/api/slow", std::nullopt, 0.3); }, "The request timed out."},
        {"dropped", [&] { client().json("GET", "/api/drop"); }, "The network connection was lost."},
        {"not a URL", [&] { API("http://a b", secret).json("GET", "/api/me"); },
         "the server address is not a valid http or https URL"},
        {"no scheme", [&] { API("127.0.0.1:1", secret).json("GET", "/api/me"); },
         "the server address is not a valid http or https URL"},
        {"other scheme", [&] { API("ftp://127.0.0.1", secret).json("GET", "/api/me"); },
         "the server address is not a valid http or https URL"},
        {"key with a line break", [&] { API(fake.base(), secret + "\r\nX-Injected: 1").json("GET", "/api/me"); },
         "the account key contains a line break or another control character"},
        {"header with a line break",
         [&] {
             client().upload("POST", "/api/up", QCoreApplication::applicationFilePath(), "audio/mp4\r\nX-Injected: 1");
         },
         "A request header contains a line break or another control character."},
        {"answer too large", [&] { client().json("GET", "/api/huge"); }, "The server's answer is too large."},
        {"missing file", [&] { client().upload("POST", "/api/up", "/nonexistent/file.m4a", "audio/mp4"); },
         "The file to upload could not be read: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const APIError e = errorOf(c.call);
        EXPECT_EQ(e.status(), 0);
        EXPECT_EQ(e.reason(), c.message);
        EXPECT_EQ(e.description(), c.message) << "no HTTP suffix";
        EXPECT_FALSE(e.isMissing());
    }
    for (const auto& r : fake.requests()) {
        EXPECT_NE(r.path, "/api/up") << "nothing is sent for an unreadable file";
        EXPECT_NE(r.path, "/api/me") << "nothing is sent with an unsafe key";
    }
}

TEST_F(APIClient, TheSessionsRequestTimeOutCapsTheRequestsOwn)
{
    fake.fail("GET", "/slow", {.delay = std::chrono::milliseconds(2000)});
    serve("GET", "/slow", 200, "{}");
    const Http::Session session(Http::Limits{.requestTimeout = 0.3, .resourceTimeout = 3600});
    Http::Request request;
    request.url = (fake.base() + "/slow").toUtf8();
    request.timeout = 60;
    try {
        session.send(request);
        ADD_FAILURE() << "answered";
    } catch (const Http::Failure& f) {
        EXPECT_EQ(f.kind(), Http::Failure::Kind::timedOut);
    }
}

TEST_F(APIClient, AnAnswerThatTricklesInEndsAtTheCallsTimeOut)
{
    // A byte every 0.3 s never leaves the call idle for its 2 s; the whole answer
    // would take half a minute and then succeed.
    fake.fail("GET", "/api/trickle", {.sendEvery = std::chrono::milliseconds(300)});
    serve("GET", "/api/trickle", 200, R"({"pad":")" + std::string(100, 'x') + R"("})");
    const APIError e = errorOf([&] { client().json("GET", "/api/trickle", std::nullopt, 2); });
    EXPECT_EQ(e.status(), 0);
    EXPECT_EQ(e.reason(), "The request timed out.");
}

TEST_F(APIClient, ALongTransferThatCrawlsFailsByTheRateFloor)
{
    using std::chrono::milliseconds;
    QTemporaryDir dir;
    // More than the socket buffers take at once, so the body has to crawl; sparse, so cheap.
    const QString big = dir.filePath("big.m4a");
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(64 * 1024 * 1024));
    file.close();
    const QString small = dir.filePath("small.json");
    writeFile(small, "{}");

    serve("GET", "/answer", 200, R"({"pad":")" + std::string(300, 'x') + R"("})");
    serve("POST", "/think", 200, "{}");
    fake.fail("GET", "/answer", {.sendEvery = milliseconds(100)});
    fake.fail("POST", "/crawl", {.status = 500, .body = R"({"error":"read it all"})", .readEvery = milliseconds(100)});
    // The server works on the body for longer than a rate window before it answers.
    fake.fail("POST", "/think", {.delay = milliseconds(3000)});

    // Idle time alone would let each of these run for minutes.
    const Http::Session session(Http::Limits{.minRate = 256 * 1024, .rateWindow = 2});
    struct Case {
        const char* name;
        QByteArray method;
        const char* path;
        QString file;
        bool timesOut;
    };
    const Case cases[] = {
        {"answer trickles", "GET", "/answer", {}, true},
        {"body read slowly", "POST", "/crawl", big, true},
        {"server thinks", "POST", "/think", small, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Http::Request request;
        request.method = c.method;
        request.url = (fake.base() + c.path).toUtf8();
        request.bodyFile = c.file;
        request.longTransfer = true;
        request.timeout = 60;
        try {
            const Http::Response response = session.send(request);
            EXPECT_FALSE(c.timesOut) << "answered " << response.status;
            EXPECT_EQ(response.status, 200);
        } catch (const Http::Failure& f) {
            EXPECT_TRUE(c.timesOut) << f.description().toStdString();
            EXPECT_EQ(f.kind(), Http::Failure::Kind::timedOut);
        }
    }
}

TEST_F(APIClient, UploadStreamsTheFileAsTheBody)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("audio.m4a");
    QByteArray data(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 31 % 251);
    writeFile(path, data);

    std::string received;
    fake.routeStream("POST", "/api/calls/([^/]+)/audio",
                     [&](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                         reader([&](const char* d, size_t n) {
                             received.append(d, n);
                             return true;
                         });
                         FakePlatform::reply(res, 200, R"({"id":")" + req.matches[1].str() + "\"}");
                     });
    const QJsonObject answer = client().upload("POST", "/api/calls/rec%3A1/audio", path, "audio/mp4");
    EXPECT_EQ(answer.value("id").toString(), "rec:1");
    EXPECT_TRUE(received == data.toStdString()) << "body differs; got " << received.size() << " bytes";
    const auto seen = fake.requests().at(0);
    EXPECT_EQ(seen.header("Content-Type"), "audio/mp4");
    EXPECT_EQ(seen.header("Content-Length"), std::to_string(data.size()));
    EXPECT_TRUE(seen.header("Authorization") == "Bearer " + secret.toStdString()) << "the bearer key";
}

TEST_F(APIClient, CallsRunConcurrentlyOnTheNetworkPool)
{
    // The first answers are held until that many requests are in flight at once,
    // which calls made one at a time never reach.
    constexpr int together = 4;
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    fake.route("GET", "/api/n/([0-9]+)", [&](const httplib::Request& req, httplib::Response& res) {
        std::unique_lock lock(m);
        ++arrived;
        cv.notify_all();
        if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return arrived >= together; }))
            return FakePlatform::error(res, 503, "one call at a time");
        FakePlatform::reply(res, 200, "{\"n\":" + req.matches[1].str() + "}");
    });
    const API api = client();
    QList<QFuture<int>> futures;
    for (int i = 0; i < 40; ++i)
        futures << QtConcurrent::run(&Net::pool(), [api, i] {
            try {
                return api.json("GET", QStringLiteral("/api/n/%1").arg(i)).value("n").toInt();
            } catch (const APIError&) {
                return -1;
            }
        });
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(futures[i].result(), i);
    EXPECT_EQ(Net::pool().maxThreadCount(), 8);
}
