#include "session/Uploader.h"

#include "core/Json.h"
#include "core/Log.h"
#include "core/Strings.h"
#include "platform/AudioReader.h"
#include "session/AudioError.h"
#include "session/Mixer.h"
#include "session/Payload.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace {

// A track's file is a header of well under this much until its first fragment is
// on disk: a smaller file that cannot be read never held any sound.
constexpr qint64 headerOnly = 4096;

// At least one block of sound can be read from the file.
bool hasSound(const QString& path)
{
    try {
        AudioReader reader(QFile::encodeName(path).toStdString());
        PcmBuffer block;
        return reader.read(block);
    } catch (const std::exception&) {
        return false;
    }
}

// The audio to send holds every track that was recorded. Without a mix (a crash,
// a mix that failed at the stop) the tracks that exist are mixed now. Throws
// AudioError when a track with sound cannot be read or mixed: the upload then
// fails and the folder stays.
void prepareAudio(Session& session)
{
    SessionMeta& meta = session.meta();
    const QString mixed = session.path(QStringLiteral("mixed.m4a"));
    if (meta.audioUploaded || (meta.audioFile == QStringLiteral("mixed.m4a") && Session::isPlainFile(mixed)))
        return;
    std::vector<Mixer::Input> tracks;
    const std::pair<const char*, std::optional<double>> names[] = {{"system.m4a", meta.systemOffset},
                                                                   {"mic.m4a", meta.micOffset}};
    for (const auto& [name, offset] : names) {
        const QString path = session.path(QLatin1String(name));
        if (!Session::isPlainFile(path))
            continue;
        if (hasSound(path))
            tracks.push_back({path, offset.value_or(0)});
        else if (QFileInfo(path).size() > headerOnly)
            throw AudioError::exportFailed(QStringLiteral("cannot read ") + QLatin1String(name)
                                           + QStringLiteral("; the recording stays on this computer"));
    }
    if (tracks.empty())
        return;
    if (tracks.size() == 1) {
        meta.audioFile = QFileInfo(tracks.front().path).fileName();
        session.save();
        return;
    }
    try {
        Mixer::mix(tracks, mixed);
    } catch (const std::exception& e) {
        throw AudioError::exportFailed(QStringLiteral("cannot mix the tracks (") + QString::fromUtf8(e.what())
                                       + QStringLiteral("); the recording stays on this computer"));
    }
    meta.audioFile = QStringLiteral("mixed.m4a");
    session.save();
    slog(QStringLiteral("upload: mixed both tracks of ") + QFileInfo(session.dir()).fileName());
}

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
        meta.idempotencyKey.reset();
        meta.audioUploaded = false;
        meta.processed = false;
    }

    try {
        prepareAudio(session);
        if (!meta.callId) {
            // The key is on disk before the request leaves: a repeat after a lost
            // answer carries the same key, and the server answers with the call
            // it made the first time instead of making another.
            if (!meta.idempotencyKey) {
                meta.idempotencyKey = QUuid::createUuid().toString(QUuid::WithoutBraces);
                if (!session.save()) {
                    meta.idempotencyKey.reset();
                    throw Payload::WriteError("cannot save the session before sending it");
                }
            } else {
                slog(QStringLiteral("upload: ") + QFileInfo(session.dir()).fileName()
                     + QStringLiteral(" was sent before without an answer; sending it again with the same key"));
            }
            report(
                QStringLiteral("Uploading %1 screenshots, %2 pins\u2026").arg(meta.shots.size()).arg(meta.pins.size()));
            const QString file = Payload::write(session, selfName);
            Http::Request request = api.request(QStringLiteral("POST"), QStringLiteral("/api/calls"),
                                                QStringLiteral("application/json"));
            request.bodyFile = file;
            request.longTransfer = true;
            request.headers.append({"Idempotency-Key", meta.idempotencyKey->toUtf8()});
            const QJsonObject answer = API::perform(request);
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
    if (!keepFiles && (meta.processed || !process) && !session.removeFolder())
        slog(QStringLiteral("upload: could not remove ") + QFileInfo(session.dir()).fileName());
    return *meta.callId;
}

} // namespace Uploader
