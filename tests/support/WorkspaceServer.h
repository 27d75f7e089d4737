#pragma once

#include "support/FakePlatform.h"

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <map>
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
    };

    WorkspaceServer(FakePlatform& platform, Mode mode = Mode::full, std::string key = {}, std::string prefix = "/api",
                    std::chrono::milliseconds slowDelay = std::chrono::milliseconds(1500));

    void setName(const std::string& name);
    void setTodos(const QJsonArray& items);

    // What the server holds (copies, safe to read while requests run).
    std::map<std::string, Call> calls() const;
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

    mutable std::mutex mutex_;
    std::string name_ = "Test Person";
    QJsonArray todos_;
    std::map<std::string, Call> calls_;
    std::map<std::string, QJsonObject> taskStore_;
    std::vector<QJsonObject> tasks_;
    std::vector<QJsonObject> workdays_;
    std::vector<std::string> todoActions_;
    std::vector<std::string> deleted_;
    int nextId_ = 1;
    int wraps_ = 0;
};
