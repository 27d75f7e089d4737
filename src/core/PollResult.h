#pragma once

#include <QString>
#include <optional>

// The outcome of one sign-in poll.
struct PollResult {
    enum class Kind {
        ok,      // approved: key, email and name are set
        failed,  // the server answered something unusable: message says what
        pending, // not yet approved
        expired, // the codes are no longer valid
        denied,  // the user declined in the browser
    };

    Kind kind = Kind::pending;
    QString key;
    QString email;
    std::optional<QString> name;
    QString message;

    static PollResult ok(const QString& key, const QString& email, const std::optional<QString>& name)
    {
        return {Kind::ok, key, email, name, {}};
    }
    static PollResult failed(const QString& message) { return {Kind::failed, {}, {}, {}, message}; }
    static PollResult pending() { return {Kind::pending, {}, {}, {}, {}}; }
    static PollResult expired() { return {Kind::expired, {}, {}, {}, {}}; }
    static PollResult denied() { return {Kind::denied, {}, {}, {}, {}}; }

    friend bool operator==(const PollResult&, const PollResult&) = default;
};
