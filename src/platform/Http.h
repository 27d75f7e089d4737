#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

// HTTP(S) transport: blocking requests through one session whose connections,
// name look-ups and TLS sessions are reused. Meant for the network pool, never
// the main thread. Nothing here logs, and no error text carries a header value.
namespace Http {

struct Header {
    QByteArray name;
    QByteArray value;
};

struct Request {
    QByteArray method = "GET";
    QByteArray url;                 // encoded, sent as it is
    QList<Header> headers;          // sent exactly as listed; nothing is added but Host and Content-Length
    std::optional<QByteArray> body; // in memory
    QString bodyFile;               // when set: the body, streamed from disk
    double timeout = 60;            // seconds; how they count depends on longTransfer
    // false: the time-out bounds the whole call, so an answer that trickles in
    // cannot hold it longer. true (big bodies): it counts only time without any
    // progress, and the session's rate floor ends a transfer that crawls.
    bool longTransfer = false;
    bool followRedirects = true; // off: a 3xx comes back as the answer
};

struct Response {
    int status = 0;
    QByteArray url; // the final URL after redirects
    QByteArray body;
    // A 3xx that was not followed: where it pointed, as an absolute URL.
    QByteArray redirect;
};

// Scheme, host and port of two absolute URLs are the same (letter case aside).
bool sameOrigin(const QByteArray& a, const QByteArray& b);

// A request that got no HTTP answer. The description is a sentence for the user.
class Failure : public Error {
public:
    enum class Kind {
        timedOut,
        cannotConnect,
        hostNotFound,
        connectionLost,
        secureConnection,
        badURL,
        tooManyRedirects,
        file,
        other
    };
    Failure(Kind kind, const QString& description)
        : Error(description)
        , kind_(kind)
    {
    }
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// One session's limits. A request's own time-out counts only up to the
// session's request time-out; the resource time-out bounds the whole exchange.
// A long transfer that moves fewer than minRate bytes a second over a whole
// rate window fails as timed out; the wait for the answer after the body is
// sent is left to the idle rule.
struct Limits {
    double requestTimeout = 90;
    double resourceTimeout = 3600;
    double minRate = 0; // bytes per second; 0: no floor
    double rateWindow = 30;
};

class Session {
public:
    explicit Session(Limits limits = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Limits& limits() const { return limits_; }

    // Blocks until the answer is complete; throws Failure. Redirects are followed
    // (POST becomes GET on 301, 302 and 303); "Authorization" and "Cookie" headers
    // are sent only to the scheme, host and port the request was made for. A
    // request with a body follows redirects only within that origin: one that
    // leads elsewhere comes back as the answer, so the body and whatever answers
    // it never go to another server. The time-out counts over every hop.
    // Safe to call from several threads at once.
    Response send(const Request& request) const;

    // Sends every later request for host and port to `address`, bypassing name
    // look-up, for tests that need a named host on the loopback interface. The
    // pin lasts as long as the session.
    void pinHost(const QString& host, int port, const QString& address);

private:
    // One request and answer of a call that may be redirected.
    struct Hop {
        QByteArray url;
        QByteArray method;
        bool withBody = false;
        bool home = true; // the origin the request was made for
        std::chrono::steady_clock::time_point started;
    };
    Response exchange(const Request& request, const Hop& hop) const;

    struct Shared;
    Limits limits_;
    std::unique_ptr<Shared> shared_;
    mutable std::mutex pinsMutex_;
    QStringList pins_;
};

} // namespace Http
