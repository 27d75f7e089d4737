#pragma once

#include "core/AccountInfo.h"
#include "core/DeviceStart.h"
#include "core/PollResult.h"
#include "core/Url.h"
#include "core/Workspace.h"

#include <QJsonObject>
#include <QStringList>
#include <QUuid>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

// The web platform the app files recordings to: the client side of its account
// protocol (device sign-in, the account answer, project identities and roots).
// Its address rules are Address. Nothing here keeps state. The blocking calls throw
// APIError and belong on Net::pool().
namespace WebPlatform {

// The device endpoints, tried in this order.
const QStringList& devicePaths();

// A project's id, the same on every machine and at every sign-in: a name-based
// UUID (version 5 bits) from SHA-256 of "zelvan.project|<clean base>|<slug>".
QUuid projectID(const QString& base, const QString& slug);

// The workspace of one platform project. appPaths: the development server's roots.
Workspace project(const QString& base, const QString& slug, const QString& name, const std::optional<QString>& seat,
                  bool appPaths = false);

// One unauthenticated JSON POST; the answer as judged by API::check.
QJsonObject post(const Url& url, const QJsonObject& body, double timeout = 20);

struct Started {
    DeviceStart start;
    QString prefix; // the device path that answered
};
// Asks for sign-in codes, falling through the device paths on 404 and 405.
Started start(const QString& base);
std::optional<DeviceStart> parseStart(const QJsonObject& answer, const QString& base);

PollResult poll(const QString& base, const QString& prefix, const QString& deviceCode);
PollResult parsePoll(const QJsonObject& answer);

// The projects kept from one account answer: each costs requests, rows and
// settings space, so an answer that lists thousands keeps its first ones.
inline constexpr int maxProjects = 500;

struct Account {
    AccountInfo account;
    std::vector<Workspace> projects;
};
// Who the key belongs to, with the personal root and the projects. A local
// development server that lacks "/api/v1/me" is asked on its app paths.
Account me(const QString& base, const QString& key);
std::optional<Account> parseMe(const QJsonObject& answer, const QString& base, bool appPaths = false);

// --- Device-code sign-in -------------------------------------------------

// How the device flow waits between polls: true after the whole wait, false when
// the sign-in was cancelled meanwhile.
using Pause = std::function<bool(double seconds)>;

// Leaves the device flow when its pause reports a cancellation.
struct Cancelled : std::exception {
    const char* what() const noexcept override { return "sign-in cancelled"; }
};

struct Approval {
    QString key;
    QString email;
    std::optional<QString> name;
};

// One complete device-code sign-in: start, show the code (onCode, on the calling
// thread), then poll every interval until approval, refusal or the deadline (the
// codes' lifetime, at most 15 minutes, on Clock::current().uptime()). Network
// trouble while polling is logged and survived. Throws SignInError for outcomes
// the user must read, APIError when the start fails, Cancelled. Blocks; without
// a pause it sleeps for real.
Approval deviceFlow(const QString& base, const std::function<void(const DeviceStart&)>& onCode, const Pause& pause = {});

} // namespace WebPlatform
