#include "support/WorkspaceServer.h"

#include "platform/AudioReader.h"

#include <QJsonDocument>
#include <QTemporaryFile>
#include <algorithm>

namespace {

QJsonObject body(const httplib::Request& req)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
}

void reply(httplib::Response& res, const QJsonObject& object, int status = 200)
{
    FakePlatform::reply(res, status, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

// Escapes the regex meta characters of a literal path prefix.
std::string literal(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

int arraySize(const QJsonObject& o, const char* key)
{
    return int(o.value(QLatin1String(key)).toArray().size());
}

// Audio bodies up to this size are kept long enough to read their length.
constexpr qint64 measuredAudio = 64 << 20;

// The length of an uploaded audio body; 0 when it cannot be read.
double audioLength(const std::string& body)
{
    QTemporaryFile file;
    if (body.empty() || !file.open() || file.write(body.data(), qint64(body.size())) != qint64(body.size())
        || !file.flush())
        return 0;
    try {
        return AudioReader::duration(file.fileName().toStdString());
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

WorkspaceServer::WorkspaceServer(FakePlatform& platform, Mode mode, std::string key, std::string prefix,
                                 std::chrono::milliseconds slowDelay)
    : platform_(platform)
    , mode_(mode)
    , key_(std::move(key))
    , prefix_(std::move(prefix))
{
    todos_ = QJsonArray{
        QJsonObject{{"id", "t1"},
                    {"title", "Send the offer"},
                    {"status", "open"},
                    {"n", 1},
                    {"topic", "Sales"},
                    {"effort", "S"}},
        QJsonObject{{"id", "t2"}, {"title", "Review the draft"}, {"status", "doing"}, {"n", 2}},
    };

    add("GET", "/me", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(mutex_);
        reply(res, QJsonObject{{"ego", QJsonObject{{"name", QString::fromStdString(name_)}}}});
    });

    add("POST", "/calls", [this](const httplib::Request& req, httplib::Response& res) {
        const auto calls = store();
        const std::string project = this->project();
        std::lock_guard lock(calls->mutex);
        const std::string id = "rec:" + std::to_string(calls->nextId++);
        calls->calls[id] = Call{body(req), -1, false, project};
        reply(res, QJsonObject{{"id", QString::fromStdString(id)}});
    });

    const std::string call = "/calls/([^/]+)";
    platform_.routeStream("POST", literal(prefix_) + call + "/audio",
                          [this](const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
                              if (!authorised(req, res))
                                  return;
                              qint64 bytes = 0;
                              std::string kept;
                              reader([&](const char* data, size_t size) {
                                  bytes += qint64(size);
                                  if (bytes <= measuredAudio)
                                      kept.append(data, size);
                                  return true;
                              });
                              const double seconds = bytes <= measuredAudio ? audioLength(kept) : 0;
                              onCall(req, res, [&](CallStore&, const std::string&, Call& c) {
                                  c.audioBytes = bytes;
                                  c.audioSeconds = seconds;
                                  reply(res, QJsonObject{{"ok", true}, {"bytes", bytes}});
                              });
                          });

    add("POST", call + "/process", [this](const httplib::Request& req, httplib::Response& res) {
        onCall(req, res, [&](CallStore&, const std::string&, Call& c) {
            c.processed = true;
            reply(res, QJsonObject{{"ok", true}});
        });
    });

    add("POST", call + "/move", [this](const httplib::Request& req, httplib::Response& res) {
        const QJsonValue to = body(req).value("to");
        if (!to.isString() || to.toString().isEmpty())
            return FakePlatform::error(res, 400, "to required");
        onCall(req, res, [&](CallStore& calls, const std::string& id, Call& c) {
            Call moved = c;
            moved.project = to.toString().toStdString();
            calls.calls.erase(id);
            const std::string newId = "rec:" + std::to_string(calls.nextId++);
            calls.calls[newId] = std::move(moved);
            reply(res, QJsonObject{{"id", QString::fromStdString(newId)}});
        });
    });

    add("GET", call, [this](const httplib::Request& req, httplib::Response& res) {
        onCall(req, res, [&](CallStore&, const std::string& id, Call& c) {
            const QJsonObject& p = c.payload;
            reply(res,
                  QJsonObject{
                      {"id", QString::fromStdString(id)},
                      {"has_audio", c.audioBytes >= 0},
                      {"n_shots", arraySize(p, "shots") + arraySize(p, "pins")},
                      {"status", "uploaded"},
                      {"source", p.value("source")},
                      {"kind", p.value("kind")},
                      {"n_ocr", arraySize(p, "ocr")},
                      {"n_apps", arraySize(p, "apps")},
                      {"routed", p.value("routed")},
                      {"review", QJsonValue::Null},
                      {"project", QString::fromStdString(c.project)},
                      {"suggestions", QJsonArray()},
                  });
        });
    });

    add("DELETE", call, [this](const httplib::Request& req, httplib::Response& res) {
        onCall(req, res, [&](CallStore& calls, const std::string& id, Call&) {
            calls.calls.erase(id);
            calls.deleted.push_back(id);
            reply(res, QJsonObject{{"ok", true}});
        });
        std::lock_guard lock(mutex_);
        if (res.status == 404 && idempotentDelete_)
            reply(res, QJsonObject{{"ok", true}});
    });

    add("POST", "/tasks", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex_);
        const QJsonObject task = body(req);
        if (!task.value("title").isString())
            return FakePlatform::error(res, 400, "title missing");
        const std::string id = "task:" + std::to_string(nextId_++);
        taskStore_[id] = task;
        tasks_.push_back(task);
        reply(res, QJsonObject{{"id", QString::fromStdString(id)}});
    });

    add("DELETE", "/tasks/([^/]+)", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex_);
        if (taskStore_.erase(req.matches[1]) == 0 && !idempotentDelete_)
            return FakePlatform::error(res, 404, "no such task");
        reply(res, QJsonObject{{"ok", true}});
    });

    routeScore_ = QJsonObject{{"score", 0.5}, {"reasons", QJsonArray{"title matches the project"}}};
    add(
        "POST", "/route/score",
        [this](const httplib::Request& req, httplib::Response& res) {
            const QJsonObject b = body(req);
            if (!b.value("title").isString() || !b.value("participants").isArray())
                return FakePlatform::error(res, 400, "title and participants required");
            std::lock_guard lock(mutex_);
            reply(res, routeScore_);
        },
        true);

    add(
        "POST", "/coach/live",
        [](const httplib::Request&, httplib::Response& res) {
            reply(res, QJsonObject{{"next_after_s", 90}});
        },
        true);

    add(
        "GET", "/my/todos",
        [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            reply(res, QJsonObject{{"items", todos_}});
        },
        true);

    add(
        "POST", "/my/todos/([^/]+)/(start|finish)",
        [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            const QString id = QString::fromStdString(req.matches[1]);
            const auto it = std::find_if(todos_.begin(), todos_.end(), [&id](const QJsonValue& t) {
                return t.toObject().value("id").toString() == id;
            });
            if (it == todos_.end())
                return FakePlatform::error(res, 404, "no such to-do");
            // The to-do's status follows the action, as a real server's list does.
            QJsonObject todo = it->toObject();
            todo["status"] = req.matches[2] == "start" ? "doing" : "done";
            *it = todo;
            todoActions_.push_back(std::string(req.matches[2]) + " " + std::string(req.matches[1]));
            reply(res, QJsonObject{{"ok", true}});
        },
        true);

    add(
        "POST", "/workday",
        [this](const httplib::Request& req, httplib::Response& res) {
            const QJsonObject b = body(req);
            if (!b.value("day").isString() || !b.value("spans").isArray())
                return FakePlatform::error(res, 400, "day and spans required");
            std::lock_guard lock(mutex_);
            workdays_.push_back(b);
            reply(res, QJsonObject{{"ok", true}});
        },
        true);

    add(
        "GET", "/workday/wrap",
        [this](const httplib::Request& req, httplib::Response& res) {
            if (!req.has_param("day"))
                return FakePlatform::error(res, 400, "day required");
            std::lock_guard lock(mutex_);
            reply(res,
                  QJsonObject{{"status", wraps_ > 0 || wrapRunning_ ? "running" : "none"},
                              {"highlights", QJsonArray()},
                              {"tomorrow", QJsonArray()},
                              {"cards", QJsonArray()}});
        },
        true);

    add(
        "POST", "/workday/wrap",
        [this](const httplib::Request& req, httplib::Response& res) {
            if (!body(req).value("day").isString())
                return FakePlatform::error(res, 400, "day required");
            std::lock_guard lock(mutex_);
            ++wraps_;
            reply(res, QJsonObject{{"status", "running"}});
        },
        true);

    const std::string all = literal(prefix_) + "(/.*)?";
    FakePlatform::Fault fault;
    switch (mode_) {
    case Mode::notJson:
        fault = {.status = 200, .body = "<html><body>Welcome</body></html>"};
        break;
    case Mode::slow:
        fault = {.delay = slowDelay};
        break;
    case Mode::dropped:
        fault = {.drop = true};
        break;
    default:
        return;
    }
    for (const char* method : {"GET", "POST", "DELETE"})
        platform_.fail(method, all, fault, -1);
}

void WorkspaceServer::add(const std::string& method, const std::string& path, FakePlatform::Handler handler, bool newer)
{
    const std::string pattern = literal(prefix_) + path;
    if (newer && mode_ == Mode::older) {
        platform_.route(method, pattern, [](const httplib::Request&, httplib::Response& res) {
            FakePlatform::error(res, 404, "not found");
        });
        return;
    }
    platform_.route(method, pattern,
                    [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
                        if (authorised(req, res))
                            handler(req, res);
                    });
}

bool WorkspaceServer::authorised(const httplib::Request& req, httplib::Response& res) const
{
    if (mode_ != Mode::auth)
        return true;
    if (req.get_header_value("Authorization") == "Bearer " + key_)
        return true;
    FakePlatform::error(res, 401, "a valid key is required");
    return false;
}

void WorkspaceServer::setName(const std::string& name)
{
    std::lock_guard lock(mutex_);
    name_ = name;
}

void WorkspaceServer::setTodos(const QJsonArray& items)
{
    std::lock_guard lock(mutex_);
    todos_ = items;
}

void WorkspaceServer::setProject(const std::string& project)
{
    std::lock_guard lock(mutex_);
    project_ = project;
}

std::string WorkspaceServer::project() const
{
    std::lock_guard lock(mutex_);
    return project_;
}

void WorkspaceServer::setRouteScore(const QJsonObject& answer)
{
    std::lock_guard lock(mutex_);
    routeScore_ = answer;
}

void WorkspaceServer::shareCallsWith(const WorkspaceServer& other)
{
    const auto shared = other.store();
    std::lock_guard lock(mutex_);
    store_ = shared;
}

void WorkspaceServer::setIdempotentDelete(bool on)
{
    std::lock_guard lock(mutex_);
    idempotentDelete_ = on;
}

void WorkspaceServer::setWrapRunning(bool on)
{
    std::lock_guard lock(mutex_);
    wrapRunning_ = on;
}

std::shared_ptr<WorkspaceServer::CallStore> WorkspaceServer::store() const
{
    std::lock_guard lock(mutex_);
    return store_;
}

void WorkspaceServer::onCall(const httplib::Request& req, httplib::Response& res,
                             const std::function<void(CallStore&, const std::string&, Call&)>& f) const
{
    const auto calls = store();
    const std::string project = this->project();
    std::lock_guard lock(calls->mutex);
    const std::string id = req.matches[1];
    const auto it = calls->calls.find(id);
    if (it != calls->calls.end() && it->second.project == project)
        return f(*calls, id, it->second);
    const bool wasDeleted = std::find(calls->deleted.begin(), calls->deleted.end(), id) != calls->deleted.end();
    FakePlatform::error(res, wasDeleted && mode_ == Mode::gone410 ? 410 : 404, "no such call");
}

std::map<std::string, WorkspaceServer::Call> WorkspaceServer::calls() const
{
    const auto calls = store();
    std::lock_guard lock(calls->mutex);
    return calls->calls;
}

QJsonObject WorkspaceServer::record(const std::string& id, const Call& call)
{
    const QJsonObject& p = call.payload;
    QJsonArray text;
    for (const QJsonValue& entry : p.value("ocr").toArray())
        text.append(entry.toObject().value("text"));
    QJsonArray pins;
    for (const QJsonValue& pin : p.value("pins").toArray())
        pins.append(pin.toObject().value("note"));
    return QJsonObject{
        {"id", QString::fromStdString(id)},
        {"project", QString::fromStdString(call.project)},
        {"title", p.value("title")},
        {"kind", p.value("kind")},
        {"started", p.value("started")},
        {"ended", p.value("ended")},
        {"processed", call.processed},
        {"audio_bytes", call.audioBytes},
        {"audio_seconds", call.audioSeconds},
        {"shots", arraySize(p, "shots")},
        {"pins", pins},
        {"screen_text", text},
        {"apps", arraySize(p, "apps")},
        {"routed", p.value("routed")},
    };
}

std::vector<QJsonObject> WorkspaceServer::workdays() const
{
    std::lock_guard lock(mutex_);
    return workdays_;
}

std::vector<QJsonObject> WorkspaceServer::tasks() const
{
    std::lock_guard lock(mutex_);
    return tasks_;
}

std::vector<std::string> WorkspaceServer::todoActions() const
{
    std::lock_guard lock(mutex_);
    return todoActions_;
}

int WorkspaceServer::wrapsStarted() const
{
    std::lock_guard lock(mutex_);
    return wraps_;
}
