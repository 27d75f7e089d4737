#include "support/BoardSite.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

std::string cookie(const httplib::Request& req, const std::string& name)
{
    const std::string header = req.get_header_value("Cookie");
    const std::string key = name + "=";
    size_t at = 0;
    while (at < header.size()) {
        while (at < header.size() && (header[at] == ' ' || header[at] == ';'))
            ++at;
        size_t end = header.find(';', at);
        if (end == std::string::npos)
            end = header.size();
        if (header.compare(at, key.size(), key) == 0)
            return header.substr(at + key.size(), end - at - key.size());
        at = end;
    }
    return {};
}

std::string page(const std::string& title, const std::string& background, const std::string& body)
{
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title
        + "</title></head><body style=\"background:" + background + "\">" + body + "</body></html>";
}

std::string encoded(const std::string& text)
{
    return QUrl::toPercentEncoding(QString::fromStdString(text), "/").toStdString();
}

} // namespace

BoardSite::BoardSite(FakePlatform& platform)
    : BoardSite(platform, Options{})
{
}

BoardSite::BoardSite(FakePlatform& platform, Options options)
    : platform_(platform)
    , state_(std::make_shared<State>())
{
    state_->options = std::move(options);
    auto s = state_;

    platform_.route("POST", "/auth/app-session", [s](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(s->mutex);
        ++s->exchanges;
        if (s->options.exchange == Exchange::notYet)
            return FakePlatform::error(res, 404, "not found");
        if (s->options.exchange == Exchange::refused
            || req.get_header_value("Authorization") != "Bearer " + s->options.key)
            return FakePlatform::error(res, 401, "bad key");
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
        const std::string token = "t" + std::to_string(s->next++);
        s->tokens[token] = body.value("next").toString("/app").toStdString();
        FakePlatform::reply(res, 200, "{\"url\":\"/auth/app?t=" + token + "\"}");
    });

    platform_.route("GET", "/auth/app", [s](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(s->mutex);
        const auto found = s->tokens.find(req.get_param_value("t"));
        if (found == s->tokens.end()) {
            res.status = 302;
            res.set_header("Location", "/signin");
            return;
        }
        const std::string sess = "s" + std::to_string(s->next++);
        s->sessions.insert(sess);
        res.status = 302;
        res.set_header("Set-Cookie", "zv_sess=" + sess + "; Path=/; HttpOnly");
        res.set_header("Location", found->second);
        s->tokens.erase(found);
    });

    platform_.route("GET", "/app(/.*)?", [s](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(s->mutex);
        if (!s->sessions.count(cookie(req, "zv_sess"))) {
            res.status = 302;
            res.set_header("Location", "/signin?next=" + encoded(req.target));
            return;
        }
        res.set_content(page("Board " + req.path, s->options.background,
                             "<h1>Board</h1><a id=\"file\" href=\"/files/report.pdf\">report</a>"),
                        "text/html; charset=utf-8");
    });

    platform_.route("GET", "/signin/?", [s](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("Sign in", "rgb(255, 255, 255)", "<h1>Sign in</h1>"), "text/html; charset=utf-8");
    });

    platform_.route("POST", "/auth/signout", [s](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(s->mutex);
        const std::string sess = cookie(req, "zv_sess");
        s->signouts.push_back(sess);
        s->sessions.erase(sess);
        FakePlatform::reply(res, 200, "{\"ok\":true}");
    });

    platform_.route("GET", "/files/([^/]+)", [](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
        res.set_content("contents of " + name + " from " + req.get_param_value("n"), "application/octet-stream");
    });
}

std::set<std::string> BoardSite::liveSessions() const
{
    std::lock_guard lock(state_->mutex);
    return state_->sessions;
}

std::vector<std::string> BoardSite::signouts() const
{
    std::lock_guard lock(state_->mutex);
    return state_->signouts;
}

int BoardSite::exchanges() const
{
    std::lock_guard lock(state_->mutex);
    return state_->exchanges;
}
