#include "session/Uploader.h"

#include "core/Json.h"
#include "core/Strings.h"
#include "session/Payload.h"

#include <QDir>
#include <QFile>

namespace {

QString describe(const std::exception& e)
{
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->description();
    return QString::fromUtf8(e.what());
}

} // namespace

namespace Uploader {

QString upload(Session& session, const API& api, const std::optional<QString>& selfName, bool process, bool keepFiles,
               const Progress& progress)
{
    SessionMeta& meta = session.meta();
    const auto report = [&progress](const QString& step) {
        if (progress)
            progress(step);
    };

    // Progress on one server means nothing on another: a refiled session goes again in full.
    if (meta.uploadedServer && *meta.uploadedServer != api.endpoint()) {
        meta.callId.reset();
        meta.audioUploaded = false;
        meta.processed = false;
    }

    try {
        if (!meta.callId) {
            report(
                QStringLiteral("Uploading %1 screenshots, %2 pins\u2026").arg(meta.shots.size()).arg(meta.pins.size()));
            const QString file = Payload::write(session, selfName);
            const QJsonObject answer = api.upload(QStringLiteral("POST"), QStringLiteral("/api/calls"), file,
                                                  QStringLiteral("application/json"));
            QFile::remove(file);
            const auto id = Json::str(answer.value(QStringLiteral("id")));
            if (!id)
                throw APIError(0, QStringLiteral("server returned no call id"));
            meta.callId = *id;
            meta.uploadedServer = api.endpoint();
            session.save();
        }

        const QString call = QStringLiteral("/api/calls/") + urlComponent(*meta.callId);
        if (const auto audio = session.audioPath(); audio && !meta.audioUploaded) {
            report(QStringLiteral("Uploading audio\u2026"));
            api.upload(QStringLiteral("POST"), call + QStringLiteral("/audio"), *audio, QStringLiteral("audio/mp4"));
            meta.audioUploaded = true;
            session.save();
        }

        if (process && !meta.processed) {
            report(QStringLiteral("Starting notes\u2026"));
            api.json(QStringLiteral("POST"), call + QStringLiteral("/process"));
            meta.processed = true;
            session.save();
        }
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& e) {
        meta.lastError = describe(e);
        session.save();
        throw;
    }

    meta.lastError.reset();
    session.save();
    // Only once the server has everything that was asked for.
    if (!keepFiles && (meta.processed || !process))
        QDir(session.dir()).removeRecursively();
    return *meta.callId;
}

} // namespace Uploader
