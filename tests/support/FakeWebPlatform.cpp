#include "support/FakeWebPlatform.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

void reply(httplib::Response& res, const QJsonObject& object)
{
    FakePlatform::reply(res, 200, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

FakeWebPlatform::FakeWebPlatform(FakePlatform& platform)
    : FakeWebPlatform(platform, Options())
{
}

FakeWebPlatform::FakeWebPlatform(FakePlatform& platform, Options options)
    : platform_(platform)
    , state_(std::make_shared<State>())
{
    Options& o = state_->options;
    o = std::move(options);
    const std::string personalRoot = o.appPaths ? "/app/api/platform/personal" : "/api/v1/personal";
    if (!o.callsURL)
        o.callsURL = personalRoot + "/calls";
    serveDevice(o.appPaths ? "/app/api/platform/device" : "/device");
    serveMe(o.appPaths ? "/app/api/platform/me" : "/api/v1/me");

    using Mode = WorkspaceServer::Mode;
    personal_ = std::make_unique<WorkspaceServer>(platform_, Mode::auth, o.key, personalRoot);
    // One call store for every root, so that calls move between projects.
    for (const Project& p : o.projects) {
        const std::string root = o.appPaths ? "/app/p/" + p.slug + "/api" : "/api/v1/p/" + p.slug;
        auto server = std::make_unique<WorkspaceServer>(platform_, Mode::auth, o.key, root);
        server->setProject(p.slug);
        server->shareCallsWith(*personal_);
        projects_[p.slug] = std::move(server);
    }
    if (o.moreProjects > 0)
        serveMore(o.appPaths ? "/app/p/more-[0-9]+/api" : "/api/v1/p/more-[0-9]+");

    // For whoever runs the platform (the demonstration, a person with curl): every
    // call it holds, with what it received. Not part of the platform's interface.
    platform_.route("GET", "/__test/calls",
                    [calls = personal_->store()](const httplib::Request&, httplib::Response& res) {
                        QJsonArray list;
                        std::lock_guard lock(calls->mutex);
                        for (const auto& [id, call] : calls->calls)
                            list.append(WorkspaceServer::record(id, call));
                        reply(res, QJsonObject{{"calls", list}});
                    });
}

void FakeWebPlatform::serveDevice(const std::string& prefix)
{
    platform_.route("POST", prefix + "/start", [state = state_](const httplib::Request& req, httplib::Response& res) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
        if (body.value("client").toString() != "mac")
            return FakePlatform::error(res, 400, "unknown client");
        std::lock_guard lock(state->mutex);
        const std::string code = "dev-" + std::to_string(state->nextCode++);
        state->pollsPerCode[code] = 0;
        QJsonObject answer{{"device_code", q(code)},
                           {"user_code", userCode},
                           {"verify_url", QStringLiteral("/app/device?code=") + userCode},
                           {"interval", 1},
                           {"expires_in", 600}};
        for (auto it = state->options.startExtra.begin(); it != state->options.startExtra.end(); ++it)
            answer.insert(it.key(), it.value());
        reply(res, answer);
    });

    platform_.route("POST", prefix + "/poll", [state = state_](const httplib::Request& req, httplib::Response& res) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
        std::lock_guard lock(state->mutex);
        const auto it = state->pollsPerCode.find(body.value("device_code").toString().toStdString());
        if (it == state->pollsPerCode.end())
            return FakePlatform::error(res, 404, "unknown device code");
        ++state->polls;
        const int seen = ++it->second;
        const Options& o = state->options;
        bool approved = false;
        switch (o.approval) {
        case Approval::approve:
            approved = true;
            break;
        case Approval::deny:
            return reply(res, QJsonObject{{"status", "denied"}});
        case Approval::expire:
            return reply(res, QJsonObject{{"status", "expired"}});
        case Approval::slowApprove:
            approved = seen > o.slowPolls;
            break;
        case Approval::hold:
            approved = state->approved;
            break;
        }
        if (!approved)
            return reply(res, QJsonObject{{"status", "pending"}});
        reply(res,
              QJsonObject{{"status", "ok"},
                          {"key", q(o.key)},
                          {"account", QJsonObject{{"email", q(o.email)}, {"name", q(o.name)}}}});
    });
}

void FakeWebPlatform::serveMe(const std::string& path)
{
    platform_.route("GET", path, [state = state_](const httplib::Request& req, httplib::Response& res) {
        const Options& o = state->options;
        if (req.get_header_value("Authorization") != "Bearer " + o.key)
            return FakePlatform::error(res, 401, "invalid or missing account key");
        QJsonArray projects;
        for (const Project& p : o.projects)
            projects.append(QJsonObject{{"slug", q(p.slug)},
                                        {"name", q(p.name)},
                                        {"seat", q(p.seat)},
                                        {"url", q("/app/p/" + p.slug + "/")}});
        for (int i = 1; i <= o.moreProjects; ++i)
            projects.append(QJsonObject{{"slug", QStringLiteral("more-%1").arg(i)},
                                        {"name", QStringLiteral("More %1").arg(i)},
                                        {"seat", "member"},
                                        {"url", QStringLiteral("/app/p/more-%1/").arg(i)}});
        reply(res,
              QJsonObject{{"account", QJsonObject{{"id", "acc-1"}, {"email", q(o.email)}, {"name", q(o.name)}}},
                          {"personal", QJsonObject{{"calls_url", q(*o.callsURL)}}},
                          {"projects", projects},
                          {"invites", QJsonArray()}});
    });
}

void FakeWebPlatform::serveMore(const std::string& root)
{
    const auto keyed = [state = state_](FakePlatform::Handler answer) {
        return [state, answer](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") != "Bearer " + state->options.key)
                return FakePlatform::error(res, 401, "invalid or missing account key");
            answer(req, res);
        };
    };
    platform_.route("POST", root + "/route/score", keyed([](const httplib::Request&, httplib::Response& res) {
                        FakePlatform::reply(res, 200, R"({"score":0.1,"reasons":["mentions nothing"]})");
                    }));
    platform_.route("GET", root + "/my/todos", keyed([](const httplib::Request&, httplib::Response& res) {
                        FakePlatform::reply(res, 200, "[]");
                    }));
    platform_.route("GET", root + "/me", keyed([](const httplib::Request&, httplib::Response& res) {
                        FakePlatform::reply(res, 200, R"({"ego":{"name":"Test Person"}})");
                    }));
}

void FakeWebPlatform::approve()
{
    std::lock_guard lock(state_->mutex);
    state_->approved = true;
}

int FakeWebPlatform::polls() const
{
    std::lock_guard lock(state_->mutex);
    return state_->polls;
}
