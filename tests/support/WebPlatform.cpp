#include "support/WebPlatform.h"

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

WebPlatform::WebPlatform(FakePlatform& platform) : WebPlatform(platform, Options())
{
}

WebPlatform::WebPlatform(FakePlatform& platform, Options options) : platform_(platform), options_(std::move(options))
{
    const std::string devicePrefix = options_.appPaths ? "/app/api/platform/device" : "/device";
    serveDevice(devicePrefix);
    serveMe(options_.appPaths ? "/app/api/platform/me" : "/api/v1/me");

    using Mode = WorkspaceServer::Mode;
    for (const Project& p : options_.projects) {
        const std::string root = options_.appPaths ? "/app/p/" + p.slug + "/api" : "/api/v1/p/" + p.slug;
        projects_[p.slug] = std::make_unique<WorkspaceServer>(platform_, Mode::auth, options_.key, root);
    }
    const std::string personalRoot = options_.appPaths ? "/app/api/platform/personal" : "/api/v1/personal";
    personal_ = std::make_unique<WorkspaceServer>(platform_, Mode::auth, options_.key, personalRoot);
    if (!options_.callsURL)
        options_.callsURL = personalRoot + "/calls";
}

void WebPlatform::serveDevice(const std::string& prefix)
{
    platform_.route("POST", prefix + "/start", [this](const httplib::Request& req, httplib::Response& res) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
        if (body.value("client").toString() != "mac")
            return FakePlatform::error(res, 400, "unknown client");
        std::lock_guard lock(mutex_);
        const std::string code = "dev-" + std::to_string(nextCode_++);
        pollsPerCode_[code] = 0;
        QJsonObject answer{{"device_code", q(code)},
                           {"user_code", userCode},
                           {"verify_url", QStringLiteral("/app/device?code=") + userCode},
                           {"interval", 1},
                           {"expires_in", 600}};
        for (auto it = options_.startExtra.begin(); it != options_.startExtra.end(); ++it)
            answer.insert(it.key(), it.value());
        reply(res, answer);
    });

    platform_.route("POST", prefix + "/poll", [this](const httplib::Request& req, httplib::Response& res) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
        std::lock_guard lock(mutex_);
        const auto it = pollsPerCode_.find(body.value("device_code").toString().toStdString());
        if (it == pollsPerCode_.end())
            return FakePlatform::error(res, 404, "unknown device code");
        ++polls_;
        const int seen = ++it->second;
        bool approved = false;
        switch (options_.approval) {
        case Approval::approve:
            approved = true;
            break;
        case Approval::deny:
            return reply(res, QJsonObject{{"status", "denied"}});
        case Approval::expire:
            return reply(res, QJsonObject{{"status", "expired"}});
        case Approval::slowApprove:
            approved = seen > options_.slowPolls;
            break;
        case Approval::hold:
            if (decision_ == false)
                return reply(res, QJsonObject{{"status", "denied"}});
            approved = decision_ == true;
            break;
        }
        if (!approved)
            return reply(res, QJsonObject{{"status", "pending"}});
        reply(res, QJsonObject{{"status", "ok"},
                               {"key", q(options_.key)},
                               {"account", QJsonObject{{"email", q(options_.email)}, {"name", q(options_.name)}}}});
    });
}

void WebPlatform::serveMe(const std::string& path)
{
    platform_.route("GET", path, [this](const httplib::Request& req, httplib::Response& res) {
        if (!authorised(req, res))
            return;
        QJsonArray projects;
        for (const Project& p : options_.projects)
            projects.append(QJsonObject{{"slug", q(p.slug)}, {"name", q(p.name)}, {"seat", q(p.seat)},
                                        {"url", q("/app/p/" + p.slug + "/")}});
        reply(res, QJsonObject{{"account", QJsonObject{{"id", "acc-1"}, {"email", q(options_.email)}, {"name", q(options_.name)}}},
                               {"personal", QJsonObject{{"calls_url", q(*options_.callsURL)}}},
                               {"projects", projects},
                               {"invites", QJsonArray()}});
    });
}

bool WebPlatform::authorised(const httplib::Request& req, httplib::Response& res) const
{
    if (req.get_header_value("Authorization") == "Bearer " + options_.key)
        return true;
    FakePlatform::error(res, 401, "invalid or missing account key");
    return false;
}

void WebPlatform::approve()
{
    std::lock_guard lock(mutex_);
    decision_ = true;
}

void WebPlatform::deny()
{
    std::lock_guard lock(mutex_);
    decision_ = false;
}

int WebPlatform::polls() const
{
    std::lock_guard lock(mutex_);
    return polls_;
}
