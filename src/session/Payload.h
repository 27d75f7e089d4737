#pragma once

#include "session/Session.h"

#include <QJsonObject>
#include <QString>
#include <optional>
#include <stdexcept>

// The body of a session's first upload request: its metadata and every
// screenshot and pin image inline as Base64, as one compact JSON object.
namespace Payload {

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The whole payload in memory. Images that cannot be read are left out.
QJsonObject dictionary(const Session& session, const std::optional<QString>& selfName);

// Writes the same payload to the session folder's "payload.json" (owner-only,
// replaced atomically) and returns its path. The images are read and encoded
// piece by piece, so memory stays small whatever the session's size. Throws
// WriteError.
QString write(const Session& session, const std::optional<QString>& selfName);

} // namespace Payload
