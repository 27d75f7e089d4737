#pragma once

#include "platform/Http.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// Turns the account key into a one-time sign-in link for the board's web view:
// POST "<base>/auth/app-session". Redirects are not followed, so the key never
// travels to another address.
namespace AppSession {

struct Result {
    enum class Kind { url, notYet, refused, failed };
    Kind kind = Kind::failed;
    QUrl url;        // url
    int status = 0;  // notYet, refused
    QString message; // failed

    static Result link(const QUrl& u) { return {Kind::url, u, 0, {}}; }
    static Result notYet(int s) { return {Kind::notYet, {}, s, {}}; }
    static Result refused(int s) { return {Kind::refused, {}, s, {}}; }
    static Result failed(const QString& m) { return {Kind::failed, {}, 0, m}; }

    friend bool operator==(const Result&, const Result&) = default;
};

// The request as it goes out; nothing when the key is empty, the base gives no
// endpoint, or the base is plain http on another machine.
std::optional<Http::Request> build(const QString& base, const QString& key, const std::optional<QString>& next);

// Blocks (run it on Net::pool()); never throws.
Result request(const QString& base, const QString& key, const std::optional<QString>& next);

Result parse(int status, const QByteArray& data, const QString& base);

} // namespace AppSession
