#pragma once

#include "core/APIError.h"
#include "core/LiveTip.h"
#include "core/Todo.h"
#include "core/Url.h"
#include "core/WrapStatus.h"
#include "platform/Http.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The client of one workspace's REST interface. Strict about what it sends
// (fixed headers, compact JSON), tolerant of what it reads (Json::str). Every call blocks and
// throws APIError; run them on Net::pool(). The fields are fixed at construction,
// so one client may serve several threads at once.
class API {
public:
    // Host suffix of the access gateway's browser login. An answer that ends up
    // there is the gateway asking for a browser sign-in, not the platform.
    static inline const QString accessLoginDomain = QStringLiteral("cloudflareaccess.com");

    static constexpr double defaultTimeout = 60;
    static constexpr double routeScoreTimeout = 25;

    // `server` is trimmed and loses its trailing "/"; the key is kept exactly;
    // the API root is cleaned like a base address.
    API(const QString& server, const QString& key, const std::optional<QString>& apiRoot = std::nullopt);

    const QString& server() const { return server_; }
    const QString& key() const { return key_; }
    const std::optional<QString>& apiRoot() const { return apiRoot_; }

    // Where the calls go: the API root when set, else the server. Safe to show and log.
    QString endpoint() const;

    // A path beginning with "/api/" goes below the API root when there is one,
    // every other path below the server. Nothing when the text is not a URL.
    std::optional<Url> url(const QString& path) const;

    // The request with its fixed headers. Throws APIError (status 0) when the
    // address is not an http or https URL.
    Http::Request request(const QString& method, const QString& path,
                          const std::optional<QString>& contentType = std::nullopt) const;

    // One JSON call: the answer's object (an array comes as {"items": […]}). The
    // time-out bounds the whole call.
    QJsonObject json(const QString& method, const QString& path, const std::optional<QJsonObject>& body = std::nullopt,
                     std::optional<double> timeout = std::nullopt) const;

    // Sends the file's bytes as the body, streamed from disk. Its time-out counts
    // idle time only, under the session's floor on the transfer rate.
    QJsonObject upload(const QString& method, const QString& path, const QString& file,
                       const QString& contentType) const;

    // The judge of one answer: its JSON object, or the APIError it amounts to.
    static QJsonObject check(const Http::Response& response);

    // The one session every platform request goes through.
    static Http::Session& session();

    // Sends through the session and judges the answer; transport failures
    // become APIError with status 0.
    static QJsonObject perform(const Http::Request& request, Http::Session& through = session());

    // This client over another session with limits of its own (a test's short
    // rate window); that session must outlive the client.
    API over(Http::Session& through) const;

    // --- Workspace endpoints ---------------------------------------------

    struct Score {
        double score = 0;
        QStringList reasons;
        friend bool operator==(const Score&, const Score&) = default;
    };
    struct Coaching {
        std::optional<LiveTip> tip;
        std::optional<double> nextAfter; // seconds
        friend bool operator==(const Coaching&, const Coaching&) = default;
    };

    // The signed-in person's name; APIError(0, "no ego in /api/me") without one.
    QString me() const;
    std::vector<Todo> todos() const;
    void startTodo(const QString& id) const;
    void finishTodo(const QString& id) const;
    void uploadWorkday(const QString& day, const QJsonArray& spans) const;
    // The summary's state word.
    QString startWrap(const QString& day) const;
    WrapStatus wrapStatus(const QString& day) const;
    Score routeScore(const QString& title, const QString& app, const QStringList& participants,
                     const QString& text) const;
    Coaching coachLive(const QJsonObject& snapshot) const;
    // The new task's id, when the server gave one.
    std::optional<QString> createTask(const QString& title, const std::optional<QString>& notes = std::nullopt) const;
    QJsonObject callDetail(const QString& id) const;

private:
    Http::Session& transport() const { return through_ ? *through_ : session(); }

    QString server_;
    QString key_;
    std::optional<QString> apiRoot_;
    Http::Session* through_ = nullptr;
};
