// Reviews of uploaded calls, the cards made from their suggestions (and from
// live tips), and moving the last filed session.
#include "app/Reviews.h"

#include "app/AppController.h"
#include "app/Failure.h"
#include "core/Json.h"
#include "core/Log.h"
#include "core/Strings.h"
#include "session/NoteCard.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace {

constexpr double pollSeconds = 30;
constexpr qint64 watchSeconds = 1200;

} // namespace

std::vector<ReviewSuggestion> openSuggestions(const QJsonValue& review)
{
    if (!review.isObject())
        return {};
    const QJsonValue list = review.toObject().value(QStringLiteral("suggestions"));
    if (!list.isArray())
        return {};
    const QJsonArray entries = list.toArray();
    if (!std::all_of(entries.begin(), entries.end(), [](const QJsonValue& v) { return v.isObject(); }))
        return {};
    std::vector<ReviewSuggestion> out;
    for (qsizetype p = 0; p < entries.size(); ++p) {
        const QJsonObject e = entries[p].toObject();
        const auto title = Json::str(e.value(QStringLiteral("title")));
        if (!title || title->trimmed().isEmpty())
            continue;
        const QString state = Json::str(e.value(QStringLiteral("state"))).value_or(QString());
        if (state == QLatin1String("accepted") || state == QLatin1String("dismissed"))
            continue;
        out.push_back({Json::str(e.value(QStringLiteral("i"))).value_or(QString::number(p)), *title,
                       Json::str(e.value(QStringLiteral("why")))});
    }
    return out;
}

void AppController::watchReview(const QString& id, const API& api, const std::optional<Url>& link,
                                const std::optional<QString>& dest, const QString& title)
{
    if (!watchingSignOut_) {
        watchingSignOut_ = true;
        QObject::connect(&settings, &Settings::changed, &flowContext_, [weak = weak_from_this()](Settings::Key key) {
            auto self = weak.lock();
            if (self && key == Settings::Key::accountEmail && !self->settings.accountEmail())
                self->forgetReviews();
        });
    }
    std::erase_if(reviews, [&](const ReviewWatch& w) { return w.id == id; });
    reviews.push_back({id, api, link, dest, title, Clock::current().now().addSecs(watchSeconds)});
    if (!reviewTimer)
        reviewTimer = ports_.scheduler->every(pollSeconds, weakly([](AppController& c) { c.pollReviews(); }));
}

void AppController::forgetReviews()
{
    reviews.clear();
    if (reviewTimer) {
        ports_.scheduler->cancel(*reviewTimer);
        reviewTimer.reset();
    }
    rebuildMenu();
}

void AppController::pollReviews()
{
    const QDateTime now = Clock::current().now();
    std::erase_if(reviews, [&](const ReviewWatch& w) { return !w.ready && w.until < now; });
    const bool waiting = std::any_of(reviews.begin(), reviews.end(), [](const ReviewWatch& w) { return !w.ready; });
    if (!waiting) {
        if (reviewTimer) {
            ports_.scheduler->cancel(*reviewTimer);
            reviewTimer.reset();
        }
        rebuildMenu();
        return;
    }
    for (ReviewWatch& w : reviews) {
        // One request per call at a time: a slow answer must not overlap the next tick.
        if (w.ready || w.polling)
            continue;
        w.polling = true;
        const ReviewWatch copy = w;
        auto detail = std::make_shared<std::optional<QJsonObject>>();
        auto error = std::make_shared<std::exception_ptr>();
        background(
            Lane::network,
            [api = copy.api, id = copy.id, detail, error] {
                try {
                    *detail = api.callDetail(id);
                } catch (...) {
                    *error = std::current_exception();
                }
            },
            [copy, detail, error](AppController& c) { c.reviewAnswer(copy, *detail, *error); });
    }
}

void AppController::reviewAnswer(const ReviewWatch& copy, const std::optional<QJsonObject>& detail,
                                 std::exception_ptr error)
{
    const auto find = [this, &copy]() {
        return std::find_if(reviews.begin(), reviews.end(), [&](const ReviewWatch& w) { return w.id == copy.id; });
    };
    if (auto it = find(); it != reviews.end())
        it->polling = false;
    if (error) {
        if (Failure::isMissing(error)) {
            std::erase_if(reviews, [&](const ReviewWatch& w) { return w.id == copy.id; });
            rebuildMenu();
        } else {
            slog(QStringLiteral("review poll ") + Log::oneLine(copy.id) + QStringLiteral(": ")
                 + Log::oneLine(Failure::text(error)));
        }
        return;
    }
    const QJsonValue review = detail->value(QStringLiteral("review"));
    if (review.isUndefined() || review.isNull())
        return;
    auto it = find();
    // Forgotten meanwhile (sign-out, a new upload of the call that is already ready).
    if (it == reviews.end() || it->ready)
        return;
    it->ready = true;
    it->suggestions = openSuggestions(review);
    const int n = int(it->suggestions.size());
    slog(QStringLiteral("review ready: ") + Log::oneLine(copy.id));
    ports_.notify->reviewReady(copy.id, copy.title, n, copy.link ? std::optional(copy.link->toQUrl()) : std::nullopt);
    if (!recorder) {
        const QString message = n > 0
            ? QString::number(n) + QStringLiteral(" suggestion") + (n == 1 ? QString() : QStringLiteral("s"))
                + QStringLiteral(" to look at. Each one asks where it goes.")
            : QStringLiteral("Notes and the workflow review are in.");
        ports_.nudges->show({
            .kind = QStringLiteral("review"),
            .priority = 1,
            .title = QStringLiteral("Review ready — ") + cut(copy.title, 44),
            .message = message,
            .buttons = {{QStringLiteral("Later"), false, {}},
                        {QStringLiteral("Open"), true, weakly([id = copy.id](AppController& c) { c.openReview(id); })}},
            .stacked = false,
            .timeout = 30,
        });
    }
    rebuildMenu();
}

void AppController::openReview(const QString& id)
{
    const auto it = std::find_if(reviews.begin(), reviews.end(), [&](const ReviewWatch& w) { return w.id == id; });
    if (it == reviews.end())
        return;
    if (it->link)
        ports_.board->open(it->link->toQUrl());
    if (it->suggestions.empty())
        std::erase_if(reviews, [&](const ReviewWatch& w) { return w.id == id; });
    rebuildMenu();
}

void AppController::askCard(const QString& title, const std::optional<QString>& why,
                            const std::optional<QString>& suggested, const ReviewRef& review)
{
    if (!accounts.signedIn()) {
        ports_.nudges->show({
            .kind = QStringLiteral("card"),
            .priority = 2,
            .title = QStringLiteral("Sign in to add cards"),
            .message = title,
            .buttons = {{QStringLiteral("Sign in"), true, weakly([](AppController& c) { c.startSignIn(); })}},
            .stacked = false,
            .timeout = 15,
        });
        return;
    }
    const QString hint = suggested.value_or(FiledRef::personal);
    std::vector<std::pair<QString, QString>> candidates{
        {FiledRef::personal, QStringLiteral("Personal — my day (private)")}};
    for (const Workspace& ws : settings.projects())
        if (ws.slug)
            candidates.emplace_back(*ws.slug, ws.name + QStringLiteral(" — New from chat"));
    std::stable_partition(candidates.begin(), candidates.end(), [&](const auto& c) { return c.first == hint; });
    std::vector<Ports::Nudges::Button> buttons;
    for (const auto& [dest, label] : candidates)
        buttons.push_back({label, dest == hint, weakly([title, why, dest = dest, review](AppController& c) {
                               c.addCard(title, why, dest, review);
                           })});
    ports_.nudges->show({
        .kind = QStringLiteral("card"),
        .priority = 2,
        .title = QStringLiteral("Where does this card go?"),
        .message = QStringLiteral("“") + cut(title, 70) + QStringLiteral("”\nSuggested: ") + accounts.destName(hint),
        .buttons = std::move(buttons),
        .stacked = true,
        .timeout = 60,
    });
}

void AppController::addCard(const QString& title, const std::optional<QString>& why, const QString& to,
                            const ReviewRef& review)
{
    const QString notes = why.value_or(QString());
    std::function<void()> request;
    // Personal only: the platform has no task endpoint there, or nobody is signed in.
    auto privateNote = std::make_shared<bool>(false);
    if (review && review->first.dest == to && to != FiledRef::personal) {
        const ReviewWatch& w = review->first;
        request = [api = w.api,
                   path = QStringLiteral("/api/calls/") + urlComponent(w.id) + QStringLiteral("/review/")
                       + urlComponent(review->second)
                       + QStringLiteral("/accept")] { api.json(QStringLiteral("POST"), path); };
    } else if (to != FiledRef::personal) {
        const std::optional<API> api = accounts.apiForDest(to);
        if (!api)
            return;
        request = [api = *api, title, notes] {
            api.json(QStringLiteral("POST"), QStringLiteral("/api/tasks"),
                     QJsonObject{{QStringLiteral("title"), title},
                                 {QStringLiteral("notes"), notes},
                                 {QStringLiteral("inbox"), true},
                                 {QStringLiteral("source"), QStringLiteral("mac")}});
        };
    } else if (const std::optional<API> api = accounts.personalAPI()) {
        request = [api = *api, title, notes, privateNote] {
            try {
                api.json(QStringLiteral("POST"), QStringLiteral("/api/tasks"),
                         QJsonObject{{QStringLiteral("title"), title}, {QStringLiteral("notes"), notes}});
            } catch (const APIError& e) {
                if (!e.isMissing())
                    throw;
                slog(QStringLiteral("personal/tasks 404 -> private note"));
                *privateNote = true;
            }
        };
    } else {
        *privateNote = true;
        request = [] {};
    }
    auto error = std::make_shared<std::exception_ptr>();
    background(
        Lane::network,
        [request, error] {
            try {
                request();
            } catch (...) {
                *error = std::current_exception();
            }
        },
        [title, why, to, review, privateNote, error](AppController& c) {
            if (*privateNote) {
                if (!c.keepPrivateNote(title, why))
                    *error = std::make_exception_ptr(APIError(0, QStringLiteral("The note could not be saved.")));
            }
            if (*error) {
                c.ports_.nudges->show({
                    .kind = QStringLiteral("cardDone"),
                    .priority = 1,
                    .title = QStringLiteral("Couldn’t add the card"),
                    .message = Failure::text(*error),
                    .stacked = false,
                    .timeout = 6,
                });
                c.rebuildMenu();
                return;
            }
            c.cardAdded(title, to, review, *privateNote);
        });
}

void AppController::cardAdded(const QString& title, const QString& to, const ReviewRef& review, bool privateNote)
{
    if (review) {
        const auto it = std::find_if(reviews.begin(), reviews.end(),
                                     [&](const ReviewWatch& w) { return w.id == review->first.id; });
        if (it != reviews.end())
            std::erase_if(it->suggestions, [&](const ReviewSuggestion& s) { return s.i == review->second; });
    }
    slog(QStringLiteral("card “") + Log::oneLine(title) + QStringLiteral("” -> ") + to);
    QString done;
    if (privateNote)
        // Personal took no card: say what became of it.
        done = QStringLiteral("Kept as a private note (Personal)");
    else if (to == FiledRef::personal)
        done = QStringLiteral("Added to your day (Personal)");
    else
        done = QStringLiteral("Added to ") + accounts.destName(to) + QStringLiteral(" · New from chat");
    ports_.nudges->show({
        .kind = QStringLiteral("cardDone"),
        .priority = 1,
        .title = done,
        .message = privateNote ? title + QStringLiteral("\nPersonal has no cards yet, so it goes there as a note.")
                               : title,
        .stacked = false,
        .timeout = 4,
    });
    rebuildMenu();
}

// A card Personal cannot take becomes a one-pin note session filed to Personal.
bool AppController::keepPrivateNote(const QString& title, const std::optional<QString>& why)
{
    const std::optional<QByteArray> jpeg = NoteCard::jpeg(title);
    if (!jpeg)
        return false;
    std::shared_ptr<Session> session;
    const QDateTime now = Clock::current().now();
    try {
        session = Session::create(QStringLiteral("Note · ") + cut(title, 60), QStringLiteral("Zelvan"), std::nullopt,
                                  now);
    } catch (const std::exception& e) {
        slog(QStringLiteral("private note: ") + Log::oneLine(QString::fromUtf8(e.what())));
        return false;
    }
    session->addPin(0, why ? title + QStringLiteral(" — ") + *why : title, *jpeg, Session::PinKind::textOnly);
    SessionMeta& m = session->meta();
    m.ended = m.started.addSecs(1);
    m.kind = QStringLiteral("session");
    m.personal = true;
    m.routeDone = true;
    m.routed = Routed{0, {QStringLiteral("a card for my day")}, false};
    session->save();
    // The Personal upload takes it from here, or keeps it for the next retry.
    uploadPersonal(session, true);
    return true;
}

void AppController::askMove()
{
    const std::optional<FiledRef> last = settings.lastFiled();
    if (!last)
        return;
    std::vector<Ports::Nudges::Button> buttons;
    const auto moveTo = [&](const QString& title, const QString& to) {
        buttons.push_back({title, false, weakly([filed = *last, to](AppController& c) { c.move(filed, to); })});
    };
    if (last->dest != FiledRef::personal)
        moveTo(QStringLiteral("Personal (private)"), FiledRef::personal);
    for (const Workspace& ws : settings.projects())
        if (ws.slug && *ws.slug != last->dest)
            moveTo(ws.name, *ws.slug);
    if (buttons.empty())
        return;
    ports_.nudges->show({
        .kind = QStringLiteral("move"),
        .priority = 3,
        .title = QStringLiteral("Move “") + cut(last->title, 40) + QStringLiteral("”?"),
        .message = QStringLiteral("Now in ") + accounts.destName(last->dest)
            + QStringLiteral(". Moving to a project runs its notes step there; moving out removes the cards nobody "
                             "touched."),
        .buttons = std::move(buttons),
        .stacked = true,
        .timeout = 60,
    });
}

void AppController::move(const FiledRef& filed, const QString& to)
{
    const std::optional<API> api = accounts.apiForDest(filed.dest);
    if (!api)
        return;
    auto answer = std::make_shared<QJsonObject>();
    auto error = std::make_shared<std::exception_ptr>();
    background(
        Lane::network,
        [api = *api, filed, to, answer, error] {
            try {
                *answer = api.json(QStringLiteral("POST"),
                                   QStringLiteral("/api/calls/") + urlComponent(filed.id) + QStringLiteral("/move"),
                                   QJsonObject{{QStringLiteral("to"), to}});
            } catch (...) {
                *error = std::current_exception();
            }
        },
        [filed, to, answer, error](AppController& c) {
            if (*error) {
                const bool missing = Failure::isMissing(*error);
                c.ports_.nudges->show({
                    .kind = QStringLiteral("move"),
                    .priority = 2,
                    .title = missing ? QStringLiteral("Couldn’t move it yet") : QStringLiteral("Couldn’t move it"),
                    .message = missing ? QStringLiteral("The server doesn’t offer moving sessions yet (404). Try "
                                                        "again later, or move it on the site.")
                                       : Failure::text(*error),
                    .stacked = false,
                    .timeout = 8,
                });
                c.rebuildMenu();
                return;
            }
            const QString id = Json::str(answer->value(QStringLiteral("id")))
                                   .value_or(
                                       Json::str(
                                           answer->value(QStringLiteral("call")).toObject().value(QStringLiteral("id")))
                                           .value_or(filed.id));
            c.settings.setLastFiled(FiledRef{id, filed.title, to, Clock::current().now()});
            slog(QStringLiteral("moved ") + Log::oneLine(filed.id) + u' ' + filed.dest + QStringLiteral(" -> ") + to
                 + QStringLiteral(" (") + Log::oneLine(id) + u')');
            const std::optional<Url> page = c.accounts.link(to, id);
            std::vector<Ports::Nudges::Button> buttons;
            if (page)
                buttons.push_back({QStringLiteral("Open"), true,
                                   c.weakly([url = page->toQUrl()](AppController& c) { c.ports_.board->open(url); })});
            c.ports_.nudges->show({
                .kind = QStringLiteral("move"),
                .priority = 2,
                .title = QStringLiteral("Moved to ") + c.accounts.destName(to),
                .message = QStringLiteral("“") + cut(filed.title, 50) + QStringLiteral("”"),
                .buttons = std::move(buttons),
                .stacked = false,
                .timeout = 8,
            });
            c.rebuildMenu();
        });
}
