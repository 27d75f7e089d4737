#pragma once

#include "core/API.h"
#include "platform/Error.h"
#include "session/Session.h"

#include <QString>
#include <functional>
#include <optional>

// Files a finished session on a workspace's server in three steps: the payload,
// the audio, the request to process it. The progress lives in the session's
// metadata and is saved after every step, so a failed or interrupted upload
// resumes at the step that failed, even after a restart.
namespace Uploader {

using Progress = std::function<void(const QString& step)>;

// Thrown by a progress handler to stop the upload at that mark (a quit): what
// was sent so far is saved, no error is recorded, and the next upload goes on
// from there.
class Cancelled : public Error {
public:
    Cancelled()
        : Error(QStringLiteral("the upload was stopped"))
    {
    }
};

// Blocking; run it on a pool thread, and leave the session alone meanwhile.
// Returns the server's call id. A failure is recorded in `lastError`, saved, and
// thrown on unchanged (APIError, Payload::WriteError). After a complete upload
// the session folder is removed, unless `keepFiles`. `progress` is called on the
// calling thread before each step's request, with texts like "Uploading audio…";
// it may throw Cancelled there.
QString upload(Session& session, const API& api, const std::optional<QString>& selfName, bool process = true,
               bool keepFiles = false, const Progress& progress = {});

} // namespace Uploader
