// Sending a decided session to its project or to Personal, what the menu says
// meanwhile, the wait while Personal is not open yet, and the retry passes.
#include "app/AppController.h"

#include "core/APIError.h"
#include "core/FiledRef.h"
#include "core/Log.h"
#include "core/Strings.h"
#include "platform/Wording.h"
#include "session/Uploader.h"

#include <QFileInfo>

namespace {

// The title as the menu's upload line shows it.
QString menuTitle(const QString& title)
{
    return cut(title, 40);
}

// The title as the nudges quote it.
QString quoted(const QString& title)
{
    return QStringLiteral("“") + cut(title, 50) + QStringLiteral("”");
}

std::optional<QUrl> qurl(const std::optional<Url>& url)
{
    return url ? std::optional(url->toQUrl()) : std::nullopt;
}

QString describe(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// How one upload ended, as the worker thread saw it.
struct Outcome {
    std::optional<QString> callId;
    QString error;
    bool missing = false; // the server answered 404
};

Outcome runUpload(Session& session, const API& api, const std::optional<QString>& selfName,
                  const Uploader::Progress& progress)
{
    Outcome out;
    try {
        out.callId = Uploader::upload(session, api, selfName, true, false, progress);
    } catch (const APIError& e) {
        out.error = describe(e);
        out.missing = e.isMissing();
    } catch (const std::exception& e) {
        out.error = describe(e);
    }
    return out;
}

} // namespace

void AppController::uploadSession(const std::shared_ptr<Session>& session)
{
    const QString key = session->dir();
    if (uploading.contains(key))
        return;
    SessionMeta& meta = session->meta();
    if (meta.personal.value_or(false)) {
        uploadPersonal(session, false);
        return;
    }
    const std::optional<Workspace> ws = accounts.workspace(meta.workspaceID);
    if (!ws && meta.routeDone.value_or(false) && (accounts.signedIn() || !accounts.connected().empty())) {
        slog(QStringLiteral("upload: ") + Log::oneLine(meta.title)
             + QStringLiteral(" was for a target that is no longer listed -> asking again"));
        meta.routeDone.reset();
        meta.routed.reset();
        session->save();
        finish(session);
        return;
    }
    const std::optional<API> api = accounts.apiFor(ws);
    if (ws && api) {
        uploading.insert(key);
        upload = {.kind = UploadState::Kind::busy, .text = menuTitle(meta.title)};
        rebuildMenu();
        uploadProject(session, *ws, *api);
        return;
    }
    if (accounts.signedIn()) {
        upload = {.kind = UploadState::Kind::failed,
                  .text = meta.title,
                  .reason = QStringLiteral("no project to send it to — choose Personal or another project")};
        slog(QStringLiteral("upload waiting: signed in, project not available (") + Log::oneLine(meta.title) + u')');
        rebuildMenu();
        return;
    }
    signInNudge(session);
}

void AppController::uploadProgress(const QString& key, const QString& step)
{
    // A late step of an upload that has ended says nothing any more.
    if (!uploading.contains(key))
        return;
    upload = {.kind = UploadState::Kind::busy, .text = step};
    rebuildMenu();
}

std::function<void(const QString&)> AppController::progressTo(const QString& key)
{
    // The uploader reports from its worker thread; the menu hears it on the main one.
    // Once the process is ending the upload stops at this mark, to go on from
    // there at the next start.
    Ports::Scheduler* scheduler = ports_.scheduler;
    return [scheduler, key, weak = weak_from_this(), ending = ending_](const QString& step) {
        if (*ending)
            throw Uploader::Cancelled();
        scheduler->post([weak, key, step] {
            if (auto self = weak.lock())
                self->uploadProgress(key, step);
        });
    };
}

void AppController::uploadProject(const std::shared_ptr<Session>& session, const Workspace& ws, const API& api)
{
    const QString key = session->dir();
    const QString nameKey = ws.id.toString(QUuid::WithoutBraces).toUpper();
    const bool needName = !settings.names().contains(nameKey);
    auto name = std::make_shared<std::optional<QString>>();
    // Our own name in the project, once, so that the server can tell us apart.
    background(
        Lane::network,
        [needName, api, name] {
            if (!needName)
                return;
            try {
                *name = api.me();
            } catch (const std::exception&) {
            }
        },
        [session, ws, api, key, name, nameKey](AppController& c) {
            if (*name && !name->value().isEmpty()) {
                auto names = c.settings.names();
                names.insert(nameKey, **name);
                c.settings.setNames(names);
            }
            const std::optional<QString> selfName = c.accounts.myName(ws);
            auto outcome = std::make_shared<Outcome>();
            const Uploader::Progress progress = c.progressTo(key);
            c.background(
                Lane::transfer,
                [session, api, selfName, progress, outcome] { *outcome = runUpload(*session, api, selfName, progress); },
                [session, ws, api, key, outcome](AppController& c) {
                    const QString title = session->meta().title;
                    if (outcome->callId) {
                        const QString& id = *outcome->callId;
                        const std::optional<Url> page = ws.link(QStringLiteral("library/call/") + urlComponent(id));
                        c.upload = {.kind = UploadState::Kind::saved, .text = title, .url = qurl(page)};
                        c.ports_.notify->saved(id, title, ws.name, qurl(page), QFileInfo(key).fileName());
                        QString line = QStringLiteral("uploaded ") + Log::oneLine(title) + QStringLiteral(" -> ")
                            + Log::oneLine(id) + QStringLiteral(" @ ") + Log::oneLine(ws.name);
                        if (const auto& routed = session->meta().routed)
                            line += QStringLiteral(" (score %1%, auto %2)")
                                        .arg(qint64(routed->score * 100))
                                        .arg(routed->autoFiled ? QStringLiteral("true") : QStringLiteral("false"));
                        slog(line);
                        if (ws.slug)
                            c.settings.setLastFiled(FiledRef{id, title, *ws.slug, Clock::current().now()});
                        c.watchReview(id, api, page, ws.slug, title);
                    } else {
                        c.upload = {.kind = UploadState::Kind::failed, .text = title, .reason = outcome->error};
                        slog(QStringLiteral("upload failed ") + Log::oneLine(title) + QStringLiteral(": ")
                             + Log::oneLine(outcome->error));
                    }
                    c.uploading.remove(key);
                    c.rebuildMenu();
                });
        });
}

void AppController::uploadPersonal(const std::shared_ptr<Session>& session, bool quiet)
{
    const std::optional<API> api = accounts.personalAPI();
    if (!api) {
        signInNudge(session);
        return;
    }
    const QString key = session->dir();
    uploading.insert(key);
    upload = {.kind = UploadState::Kind::busy, .text = menuTitle(session->meta().title)};
    rebuildMenu();
    const std::optional<QString> selfName = settings.accountName();
    auto outcome = std::make_shared<Outcome>();
    const Uploader::Progress progress = progressTo(key);
    const API client = *api;
    background(
        Lane::transfer,
        [session, client, selfName, progress, outcome] { *outcome = runUpload(*session, client, selfName, progress); },
        [session, client, key, quiet, outcome](AppController& c) {
            SessionMeta& meta = session->meta();
            const QString title = meta.title;
            if (outcome->callId) {
                const QString& id = *outcome->callId;
                const std::optional<Url> page = c.accounts.link(FiledRef::personal, id);
                c.upload = {.kind = UploadState::Kind::saved,
                            .text = title + QStringLiteral(" · Personal"),
                            .url = qurl(page)};
                c.ports_.notify->saved(id, title, QStringLiteral("Personal"), qurl(page), QFileInfo(key).fileName());
                slog(QStringLiteral("uploaded ") + Log::oneLine(title) + QStringLiteral(" -> ") + Log::oneLine(id)
                     + QStringLiteral(" @ Personal"));
                c.settings.setLastFiled(FiledRef{id, title, FiledRef::personal, Clock::current().now()});
                c.watchReview(id, client, page, FiledRef::personal, title);
            } else if (outcome->missing && !meta.callId) {
                // Personal is not open on the server yet: keep the session here until it is.
                meta.waitingPersonal = true;
                meta.lastError = QStringLiteral("waiting — Personal opens soon");
                session->save();
                c.upload = {};
                slog(QStringLiteral("personal: 404, ") + Log::oneLine(title)
                     + QStringLiteral(" kept on this Mac (Personal opens soon)"));
                if (!quiet)
                    c.ports_.nudges->show({
                        .kind = QStringLiteral("personalSoon"),
                        .priority = 1,
                        .title = Wording::shown(QStringLiteral("Kept on this Mac — Personal opens soon")),
                        .message = quoted(title)
                            + QStringLiteral(" stays private here and goes up to Personal by itself once it opens."),
                        .timeout = 8,
                    });
            } else {
                c.upload = {.kind = UploadState::Kind::failed, .text = title, .reason = outcome->error};
                slog(QStringLiteral("upload failed ") + Log::oneLine(title) + QStringLiteral(" (Personal): ")
                     + Log::oneLine(outcome->error));
            }
            c.uploading.remove(key);
            c.rebuildMenu();
        });
}

void AppController::signInNudge(const std::shared_ptr<Session>& session)
{
    const QString title = session->meta().title;
    upload = {.kind = UploadState::Kind::failed,
              .text = title,
              .reason = QStringLiteral("not signed in — Sign in to Zelvan to send it")};
    slog(QStringLiteral("upload waiting: not signed in (") + Log::oneLine(title) + u')');
    ports_.nudges->show({
        .kind = QStringLiteral("upload"),
        .priority = 3,
        .title = QStringLiteral("Sign in to send it"),
        .message = Wording::shown(quoted(title)
                                  + QStringLiteral(" is saved on this Mac, not sent yet. It uploads as soon as you are "
                                                   "signed in.")),
        .buttons = {{QStringLiteral("Later"), false, {}},
                    {QStringLiteral("Sign in"), true, weakly([](AppController& c) { c.startSignIn(); })}},
    });
    rebuildMenu();
}

void AppController::whenUploaded(const QString& key, std::function<void(AppController&)> then)
{
    if (!uploading.contains(key)) {
        then(*this);
        return;
    }
    ports_.scheduler->after(0.3, weakly([key, then](AppController& c) { c.whenUploaded(key, then); }));
}

void AppController::retryPersonal(bool force)
{
    if (!accounts.signedIn())
        return;
    const QDateTime now = Clock::current().now();
    if (!force && lastPersonalTry.isValid() && lastPersonalTry.secsTo(now) <= 1800)
        return;
    lastPersonalTry = now;
    QStringList candidates;
    for (const auto& s : Session::pending())
        if (s->meta().waitingPersonal.value_or(false) && !uploading.contains(s->dir()))
            candidates << s->dir();
    if (candidates.isEmpty())
        return;
    retryPersonalStep(candidates, 0, force);
}

// The first one tells whether Personal is open; the rest follow one at a time.
void AppController::retryPersonalStep(const QStringList& candidates, qsizetype i, bool force)
{
    if (i >= candidates.size())
        return;
    auto session = Session::load(candidates[i]);
    if (!session) {
        retryPersonalStep(candidates, i + 1, force);
        return;
    }
    uploadPersonal(session, i > 0 || !force);
    whenUploaded(candidates[i], [candidates, i, force](AppController& c) {
        if (i == 0) {
            auto fresh = Session::load(candidates[0]);
            // Still closed: the others would only hear the same.
            if (fresh && fresh->meta().waitingPersonal.value_or(false))
                return;
        }
        c.retryPersonalStep(candidates, i + 1, force);
    });
}

void AppController::retryUploads()
{
    std::shared_ptr<Session> first;
    int count = 0;
    for (const auto& s : Session::pending()) {
        const QString key = s->dir();
        if (uploading.contains(key) || routing.contains(key) || routeScores.contains(key)
            || s->meta().waitingPersonal.value_or(false))
            continue;
        if (!first)
            first = s;
        ++count;
    }
    if (!first)
        return;
    finish(first);
    if (count < 2)
        return;
    // The next one only once nothing uploads or is being scored, and none after a failure.
    ports_.scheduler->after(0.5, weakly([](AppController& c) { c.retryUploadsWait(); }));
}

void AppController::retryUploadsWait()
{
    if (!uploading.isEmpty() || !routing.isEmpty()) {
        ports_.scheduler->after(0.5, weakly([](AppController& c) { c.retryUploadsWait(); }));
        return;
    }
    if (upload.kind != UploadState::Kind::failed)
        retryUploads();
}
