#pragma once

#include "support/FakePlatform.h"

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The legacy, self-hosted workspace server: every workspace REST route under
// `prefix` ("/api" or a project root's path), kept in memory, on a FakePlatform.
// Tests change an answer by registering their own route for the same path on
// the FakePlatform; a later route wins.
class WorkspaceServer {
public:
    enum class Mode {
        full,    // everything served
        older,   // an older server: 404 for score, coach, to-dos, work day and wrap
        auth,    // a key is required: 401 without the right bearer key
        gone410, // 410 instead of 404 for a deleted call
        notJson, // every answer is a 200 HTML page
        slow,    // every answer waits `slowDelay` first
        dropped, // every connection is cut before an answer
    };

    struct Call {
        QJsonObject payload;
        qint64 audioBytes = -1; // -1: no audio received
        bool processed = false;
        std::string project;     // the project slug or "personal" that holds it
        double audioSeconds = 0; // the audio's length; 0 when unreadable or over 64 MiB
    };

    // The calls of every root of one platform: a call moved to another project
    // gets a new id there. Servers share one with shareCallsWith().
    struct CallStore {
        std::mutex mutex;
        std::map<std::string, Call> calls;
        std::vector<std::string> deleted;
        int nextId = 1;
    };

    WorkspaceServer(FakePlatform& platform, Mode mode = Mode::full, std::string key = {}, std::string prefix = "/api",
                    std::chrono::milliseconds slowDelay = std::chrono::milliseconds(1500));

    void setName(const std::string& name);
    void setTodos(const QJsonArray& items);
    // The project this root serves ("personal" unless set); calls are found
    // only under the root of the project that holds them.
    void setProject(const std::string& project);
    // The answer of POST …/route/score from now on.
    void setRouteScore(const QJsonObject& answer);
    // Both servers keep their calls in `other`'s store from now on.
    void shareCallsWith(const WorkspaceServer& other);
    // DELETE of a call or task that is not there (any more) answers 200 too, as
    // a server whose DELETE is idempotent does.
    void setIdempotentDelete(bool on);
    // GET …/workday/wrap answers "running", as after the person started a wrap
    // elsewhere shortly before.
    void setWrapRunning(bool on);

    // What the server holds (copies, safe to read while requests run); the
    // calls of every project sharing the store.
    std::map<std::string, Call> calls() const;
    // What the platform received for one call, as a person would ask about it:
    // project, title, kind, audio length, shots, pins and the screen text read.
    static QJsonObject record(const std::string& id, const Call& call);
    // The store behind calls(), for routes that outlive this server.
    std::shared_ptr<CallStore> store() const;
    std::vector<QJsonObject> workdays() const;
    std::vector<QJsonObject> tasks() const;
    std::vector<std::string> todoActions() const; // "start <id>", "finish <id>"
    int wrapsStarted() const;

private:
    bool authorised(const httplib::Request& req, httplib::Response& res) const;
    void add(const std::string& method, const std::string& path, FakePlatform::Handler handler, bool newer = false);

    FakePlatform& platform_;
    Mode mode_;
    std::string key_;
    std::string prefix_;

    std::string project() const;
    // Runs `f`, holding the store's lock, with the call the path's first group
    // names, when this root's project holds it; otherwise answers 404 (410 for a
    // deleted call in gone410 mode).
    void onCall(const httplib::Request& req, httplib::Response& res,
                const std::function<void(CallStore&, const std::string& id, Call&)>& f) const;

    mutable std::mutex mutex_;
    std::string name_ = "Test Person";
    std::string project_ = "personal";
    QJsonObject routeScore_;
    QJsonArray todos_;
    std::shared_ptr<CallStore> store_ = std::make_shared<CallStore>();
    std::map<std::string, QJsonObject> taskStore_;
    std::vector<QJsonObject> tasks_;
    std::vector<QJsonObject> workdays_;
    std::vector<std::string> todoActions_;
    int nextId_ = 1;
    int wraps_ = 0;
    bool idempotentDelete_ = false;
    bool wrapRunning_ = false;
};
