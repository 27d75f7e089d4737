// Launch checks: recovery of cut-off recordings, the interface check and the
// permission alert.
#include "app/Recovery.h"

#include "app/AppController.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/Wording.h"
#include "session/LevelReader.h"
#include "session/Session.h"
#include "session/SessionLock.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace Recovery {

void closeInterrupted(Session& session)
{
    SessionMeta& meta = session.meta();
    QDateTime latest;
    for (const QFileInfo& inside :
         QDir(session.dir()).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QDateTime m = inside.lastModified();
        if (m.isValid() && (!latest.isValid() || m > latest))
            latest = m;
    }
    if (!latest.isValid())
        latest = meta.started;
    // Stored dates keep whole seconds.
    latest = latest.toUTC();
    latest.setMSecsSinceEpoch(latest.toMSecsSinceEpoch() / 1000 * 1000);
    meta.ended = std::max(latest, meta.started.addSecs(1));
    for (const char* name : {"mixed.m4a", "system.m4a", "mic.m4a"}) {
        const QString path = session.path(QLatin1String(name));
        if (!Session::isPlainFile(path))
            continue;
        try {
            LevelReader::levels(path);
        } catch (const std::exception&) {
            continue;
        }
        meta.audioFile = QLatin1String(name);
        break;
    }
    meta.lastError = QStringLiteral("the session was interrupted");
    session.save();
}

QStringList recoverInterrupted(const QString& recordings, QStringList* unreadable)
{
    QStringList closed;
    // A link to a folder elsewhere is no session of ours.
    const QFileInfoList entries = QDir(recordings)
                                      .entryInfoList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        QString problem;
        auto session = Session::load(entry.filePath(), &problem);
        if (!session && !problem.isEmpty()) {
            slog(QStringLiteral("unreadable session ") + entry.fileName() + QStringLiteral(": ") + problem
                 + QStringLiteral("; its files are kept"));
            if (unreadable)
                *unreadable << entry.fileName();
        }
        if (!session || session->meta().ended)
            continue;
        // Still being recorded by a running zelvan.
        if (SessionLock::isLocked(session->dir()))
            continue;
        closeInterrupted(*session);
        slog(QStringLiteral("recovered interrupted recording ") + entry.fileName());
        closed << entry.fileName();
    }
    return closed;
}

QString frameText(const QRect& frame, int screenHeight)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(frame.x())
        .arg(screenHeight - frame.y() - frame.height())
        .arg(frame.width())
        .arg(frame.height());
}

} // namespace Recovery

void AppController::recoverInterrupted(std::function<void(AppController&)> then)
{
    // Reading every session folder may take a while (big folders, a slow disk):
    // off the main thread. The menu and the retries hear of the result.
    auto unreadable = std::make_shared<QStringList>();
    background(
        Lane::transfer, [unreadable] { Recovery::recoverInterrupted(Paths::recordings(), unreadable.get()); },
        [unreadable, then](AppController& c) {
            c.sessionsChanged();
            c.rebuildMenu();
            if (!unreadable->isEmpty())
                c.ports_.nudges->show({
                    .kind = QStringLiteral("unreadableSessions"),
                    .priority = 2,
                    .title = Wording::shown(QStringLiteral("A recording on this Mac cannot be read")),
                    .message = QStringLiteral("Its files are kept in ") + Paths::recordings() + u'/'
                        + unreadable->join(QStringLiteral(", ")),
                });
            if (then)
                then(c);
        });
}

void AppController::permissionAlert(const QString& title, const QString& text, const QString& pane)
{
    if (ports_.application->ask(title, text, {QStringLiteral("Open Settings"), QStringLiteral("Cancel")}) == 0)
        openPrivacy(pane);
}

void AppController::openPrivacy(const QString& pane)
{
    // Only the microphone has a settings page of its own on a Linux desktop (its
    // sound settings); screen recording needs no permission there.
    if (pane == QStringLiteral("Privacy_Microphone") && !ports_.application->openSoundSettings())
        slog(QStringLiteral("no sound settings application found"));
}
