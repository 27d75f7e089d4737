// The popover's content, built afresh from the controller's state on every
// change. Each clickable element registers its action as it is built, so the
// order of registration is the keyboard order.
#include "app/AppController.h"

#include "core/Address.h"
#include "core/Fmt.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "core/Url.h"
#include "menu/MenuModel.h"
#include "platform/Wording.h"
#include "session/PinQueue.h"
#include "session/Session.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QPointer>

namespace {

using Tone = ZVChip::Tone;

// "1 pin", "2 pins".
QString counted(qsizetype n, const QString& word)
{
    return QString::number(n) + u' ' + word + (n == 1 ? QString() : QStringLiteral("s"));
}

// The rows of a long list that the popover shows; the rest read "and N more".
constexpr size_t maxTodoRows = 30;
constexpr size_t maxProjectRows = 12;

bool busyStatus(const QString& status)
{
    static const QStringList busy = {"running", "doing", "in_progress", "started", "active"};
    return busy.contains(status.toLower());
}

QString upperId(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

void AppController::rebuildMenu()
{
    MenuModel& m = ports_.menu->model();
    m.begin();
    MenuState s;

    // Header.
    const bool signedIn = accounts.signedIn();
    const std::optional<QString> code = signIn->code();
    const auto connected = accounts.connected();
    if (signedIn) {
        s.name = settings.accountName().value_or(settings.accountEmail().value_or(QStringLiteral("You")));
        const auto& projects = settings.projects();
        s.sub = projects.empty()   ? QStringLiteral("no project yet")
            : projects.size() == 1 ? projects.front().name
                                   : QString::number(projects.size()) + QStringLiteral(" projects");
        const auto url = Url::parse(settings.platformAddress());
        const QString host = url && url->host() && !url->host()->isEmpty() ? *url->host() : settings.platformBase();
        const qsizetype count = qsizetype(todos->items().size());
        s.status = QStringLiteral("● connected · ") + host
            + (count > 0 ? QStringLiteral(" · ") + QString::number(count) + QStringLiteral(" up next") : QString());
        s.statusTone = settings.accountError() ? Tone::amber : Tone::accent;
    } else if (code) {
        s.name = QStringLiteral("Signing in…");
        s.sub = QStringLiteral("code ") + *code;
        s.status = QStringLiteral("approve the code in your browser");
    } else if (!connected.empty()) {
        const Workspace& w = connected.front().first;
        s.name = accounts.myName(w).value_or(QStringLiteral("Zelvan"));
        s.sub = w.name + QStringLiteral(" (legacy server)");
        s.status = QStringLiteral("● legacy server");
        s.statusTone = Tone::silver;
    } else {
        s.name = QStringLiteral("Not signed in");
        s.status = QStringLiteral("○ sign in to send sessions");
    }

    // Record block.
    if (recorder) {
        s.rec = MenuState::Rec::recording(recorder->elapsed(), recorder->shotCount(), recorder->pinCount(),
                                          recorder->micOk());
        s.recID = m.act(QStringLiteral("rec"), weakly([](AppController& c) { c.stopRecording(); }));
    } else if (starting) {
        s.rec = MenuState::Rec::starting();
    } else if (saving) {
        s.rec = MenuState::Rec::saving();
    } else {
        s.recID = m.act(QStringLiteral("rec"), weakly([](AppController& c) { c.startRecording(); }));
    }

    Ports::Board* board = ports_.board;
    s.openBoard = m.act(QStringLiteral("board.open"), [board] { board->show(); });

    // Quick tiles.
    const QString pinTitle = recorder ? QStringLiteral("Pin") : QStringLiteral("Add pin");
    const QString pinId = pinning ? QStringLiteral("q.pin.off")
                                  : m.act(QStringLiteral("q.pin"), weakly([](AppController& c) { c.addPin(); }));
    s.quick.push_back({pinId, pinTitle, false, QStringLiteral("⌥⌘P")});
    s.quick.push_back({m.act(QStringLiteral("q.voice"), weakly([](AppController& c) {
                                 if (!c.voiceHeld) {
                                     c.voiceByClick = true;
                                     c.voiceDown();
                                 } else {
                                     c.voiceUp();
                                 }
                             })),
                       QStringLiteral("Voice"), false,
                       voiceKeyOK ? QStringLiteral("hold ⌥⌘␣") : QStringLiteral("click")});

    menuAttention(s, m);
    menuUpNext(s, m);

    // Work day.
    if (settings.trackWorkday()) {
        QString line = QStringLiteral("Today ") + Fmt::duration(tracker->trackedSeconds()) + QStringLiteral(" tracked");
        const bool paused = tracker->isPaused();
        if (paused && tracker->pausedUntil())
            line += QStringLiteral(" · paused until ")
                + QLocale::system().toString(tracker->pausedUntil()->toLocalTime().time(), QLocale::ShortFormat);
        if (tracker->needsUpdate())
            line += QStringLiteral(" · sync needs an update");
        const QString id = paused ? m.act(QStringLiteral("wd.toggle"), weakly([](AppController& c) {
                                              c.tracker->setPausedUntil(std::nullopt);
                                              c.rebuildMenu();
                                          }))
                                  : m.act(QStringLiteral("wd.toggle"), weakly([](AppController& c) {
                                              c.tracker->setPausedUntil(Clock::current().now().addSecs(3600));
                                              c.rebuildMenu();
                                          }));
        s.workday = MenuState::Workday{line, MBtn{id, paused ? QStringLiteral("Resume") : QStringLiteral("Pause 1 h")}};
    }

    // Projects.
    if (connected.size() >= 2 || accounts.projectMode()) {
        const size_t shown = std::min(connected.size(), maxProjectRows);
        s.projectsMore = int(connected.size() - shown);
        for (size_t i = 0; i < shown; ++i) {
            const Workspace& w = connected[i].first;
            const QString id = m.act(QStringLiteral("p.") + upperId(w.id),
                                     weakly([w](AppController& c) { c.openBoard(w); }));
            s.projects.push_back({id, w.name.isEmpty() ? w.base() : w.name, w.seat});
        }
        if (signedIn)
            s.newProject = m.act(QStringLiteral("p.new"),
                                 weakly([](AppController& c) { c.openPlatform(QStringLiteral("/app/start")); }));
    }

    // Footer.
    if (accounts.homeAPI())
        s.footer.push_back({{m.act(QStringLiteral("f.wrap"), weakly([](AppController& c) { c.wrapUp(); })),
                             QStringLiteral("End my day…")},
                            QStringLiteral("sun.haze")});
    Ports::Application* app = ports_.application;
    s.footer.push_back({{m.act(QStringLiteral("f.guide"),
                               [app] {
                                   const auto url = Url::parse(Address::defaultBase + QStringLiteral("/guide"));
                                   if (url && url->hasScheme())
                                       app->openInBrowser(url->toQUrl());
                               }),
                         QStringLiteral("How Zelvan works")},
                        QStringLiteral("book")});
    s.footer.push_back({{m.act(QStringLiteral("f.settings"), weakly([](AppController& c) { c.openSettings(); })),
                         QStringLiteral("Settings…"), false, QStringLiteral("⌘,")},
                        QStringLiteral("gearshape")});
    s.footer.push_back({{m.act(QStringLiteral("f.quit"), weakly([](AppController& c) { c.requestQuit(); })),
                         QStringLiteral("Quit Zelvan"), false, QStringLiteral("⌘Q")},
                        QStringLiteral("power")});

    m.commit(s);
}

void AppController::menuAttention(MenuState& s, MenuModel& m)
{
    const bool signedIn = accounts.signedIn();
    const std::optional<QString> code = signIn->code();

    if (!signedIn && !code)
        s.attention.push_back({QStringLiteral("a.signin"),
                               QStringLiteral("Account"),
                               Tone::accent,
                               QStringLiteral("Sign in to Zelvan"),
                               QStringLiteral("Email code in the browser — no keys to paste."),
                               std::nullopt,
                               {{m.act(QStringLiteral("a.signin"), weakly([](AppController& c) { c.startSignIn(); })),
                                 QStringLiteral("Sign in"), true}}});
    if (code)
        s.attention.push_back({QStringLiteral("a.code"),
                               QStringLiteral("Signing in"),
                               Tone::accent,
                               QStringLiteral("Approve ") + *code + QStringLiteral(" in the browser"),
                               std::nullopt,
                               std::nullopt,
                               {{m.act(QStringLiteral("a.code"), weakly([](AppController& c) { c.openSettings(); })),
                                 QStringLiteral("Show")}}});
    if (signedIn && settings.projects().empty())
        s.attention.push_back({QStringLiteral("a.newproj"),
                               QStringLiteral("Projects"),
                               Tone::plain,
                               QStringLiteral("Create or join a project"),
                               std::nullopt,
                               std::nullopt,
                               {{m.act(QStringLiteral("a.newproj"),
                                       weakly([](AppController& c) { c.openPlatform(QStringLiteral("/app/start")); })),
                                 QStringLiteral("Open Zelvan")}}});
    if (const auto& error = settings.accountError())
        s.attention.push_back({QStringLiteral("a.err"), QStringLiteral("Account"), Tone::amber, *error});

    const int pins = recorder ? 0 : PinQueue::count();
    if (pins > 0)
        s.attention.push_back({QStringLiteral("a.pins"),
                               QStringLiteral("Pins"),
                               Tone::plain,
                               counted(pins, QStringLiteral("pin")) + QStringLiteral(" waiting"),
                               QStringLiteral("Send them as one session; Zelvan asks where it goes."),
                               std::nullopt,
                               {{m.act(QStringLiteral("a.pins"), weakly([](AppController& c) { c.sendPins(); })),
                                 QStringLiteral("Send…"), true}}});

    switch (upload.kind) {
    case UploadState::Kind::busy:
        s.attention.push_back({QStringLiteral("a.up"), QStringLiteral("Uploading"), Tone::silver, upload.text});
        break;
    case UploadState::Kind::saved: {
        MenuState::Attn card{QStringLiteral("a.up"), QStringLiteral("Saved"), Tone::accent, cut(upload.text, 60)};
        if (upload.url) {
            Ports::Board* board = ports_.board;
            const QString id = m.act(QStringLiteral("a.up"), [board, url = *upload.url] { board->open(url); });
            card.open = id;
            card.buttons = {{id, QStringLiteral("Open in Library")}};
        }
        s.attention.push_back(card);
        break;
    }
    case UploadState::Kind::failed:
        s.attention.push_back({QStringLiteral("a.up"), Wording::shown(QStringLiteral("Saved on this Mac")), Tone::amber,
                               cut(upload.text, 60), upload.reason});
        break;
    case UploadState::Kind::idle:
        break;
    }

    // Sessions on disk that are not being routed or uploaded right now.
    std::vector<std::shared_ptr<Session>> shown;
    for (const auto& session : pendingSessions())
        if (!uploading.contains(session->dir()) && !routing.contains(session->dir()))
            shown.push_back(session);
    auto waitsForWhere = [this](const Session& session) {
        return !session.meta().routeDone.value_or(false) && routeScores.contains(session.dir());
    };
    for (const auto& session : shown) {
        if (!waitsForWhere(*session))
            continue;
        const QString key = QFileInfo(session->dir()).fileName();
        MenuState::Attn card{QStringLiteral("w.") + key, QStringLiteral("Where does this go?"), Tone::accent,
                             QStringLiteral("“") + cut(session->meta().title, 50) + QStringLiteral("”")};
        if (routeSuggest.contains(session->dir()))
            card.detail = QStringLiteral("Suggested: ") + routeSuggest.value(session->dir()).label()
                + (signedIn ? QStringLiteral(" · no choice in 2 min → Personal") : QString());
        int more = 0;
        const auto choices = whereChoices(*session, &more);
        if (more > 0)
            card.detail = (card.detail ? *card.detail + u'\n' : QString()) + MenuState::more(more)
                + QStringLiteral(" projects");
        for (size_t i = 0; i < choices.size(); ++i) {
            const QString id = m.act(QStringLiteral("w.%1.%2").arg(key).arg(i),
                                     weakly([session, choice = choices[i]](AppController& c) {
                                         c.choose(session, choice);
                                     }));
            card.buttons.push_back({id, choices[i].label, choices[i].suggested});
        }
        card.stacked = true;
        s.attention.push_back(card);
    }
    const auto soon = std::count_if(shown.begin(), shown.end(), [](const auto& session) {
        return session->meta().waitingPersonal.value_or(false) && session->meta().routeDone.value_or(false);
    });
    if (soon > 0)
        s.attention.push_back(
            {QStringLiteral("a.soon"),
             QStringLiteral("Personal opens soon"),
             Tone::silver,
             Wording::shown(QString::number(soon) + QStringLiteral(" kept on this Mac, private")),
             QStringLiteral("They go up to Personal by themselves once it opens."),
             std::nullopt,
             {{m.act(QStringLiteral("a.soon"), weakly([](AppController& c) { c.retryPersonal(true); })),
               QStringLiteral("Try now")}}});
    if (uploading.isEmpty() && routing.isEmpty()) {
        const auto unsent = std::count_if(shown.begin(), shown.end(), [&](const auto& session) {
            return !waitsForWhere(*session) && !session->meta().waitingPersonal.value_or(false);
        });
        if (unsent > 0)
            s.attention.push_back(
                {QStringLiteral("a.retry"),
                 Wording::shown(QStringLiteral("Saved on this Mac")),
                 Tone::amber,
                 counted(unsent, QStringLiteral("session")) + QStringLiteral(" not sent yet"),
                 std::nullopt,
                 std::nullopt,
                 {{m.act(QStringLiteral("a.retry"), weakly([](AppController& c) { c.retryUploads(); })),
                   QStringLiteral("Retry upload"), true}}});
    }

    for (const ReviewWatch& r : reviews) {
        if (!r.ready)
            continue;
        MenuState::Attn card{QStringLiteral("r.") + r.id, QStringLiteral("Review ready"), Tone::accent,
                             cut(r.title, 60)};
        card.buttons.push_back(
            {m.act(QStringLiteral("r.") + r.id, weakly([id = r.id](AppController& c) { c.openReview(id); })),
             QStringLiteral("Open review"), true});
        for (const ReviewSuggestion& item : r.suggestions)
            card.buttons.push_back(
                {m.act(QStringLiteral("r.") + r.id + u'.' + item.i, weakly([r, item](AppController& c) {
                           c.askCard(item.title, item.why, r.dest, std::pair(r, item.i));
                       })),
                 QStringLiteral("Add “") + cut(item.title, 40) + QStringLiteral("”…")});
        const qsizetype k = qsizetype(r.suggestions.size());
        if (k > 0)
            card.detail = counted(k, QStringLiteral("suggestion")) + QStringLiteral(" — each asks where it goes");
        card.stacked = k > 0;
        s.attention.push_back(card);
    }

    if (signedIn && settings.lastFiled()) {
        const FiledRef& f = *settings.lastFiled();
        s.attention.push_back(
            {QStringLiteral("a.move"),
             QStringLiteral("Last session"),
             Tone::silver,
             QStringLiteral("“") + cut(f.title, 40) + QStringLiteral("” is in ") + accounts.destName(f.dest),
             std::nullopt,
             std::nullopt,
             {{m.act(QStringLiteral("a.move"), weakly([](AppController& c) { c.askMove(); })),
               QStringLiteral("Move…")}}});
    }
}

void AppController::menuUpNext(MenuState& s, MenuModel& m)
{
    s.upNextToggle = m.act(QStringLiteral("upnext.toggle"), [model = QPointer<MenuModel>(&m)] {
        if (model)
            model->setUpNextOpen(!model->upNextOpen());
    });
    const auto& items = todos->items();
    s.upNextCount = int(items.size());
    const qsizetype targets = qsizetype(accounts.connected().size());
    if (targets == 0)
        s.upNextNote = accounts.signedIn() ? QStringLiteral("No project yet")
                                           : QStringLiteral("Sign in to Zelvan first");
    else if (todos->needsUpdate())
        s.upNextNote = targets >= 2 ? QStringLiteral("These projects need an update")
                                    : QStringLiteral("Workspace needs an update");
    else if (items.empty() && todos->error())
        s.upNextNote = QStringLiteral("Couldn’t load: ") + cut(*todos->error(), 50);
    else if (items.empty())
        s.upNextNote = todos->loaded() ? QStringLiteral("Nothing up next") : QStringLiteral("Loading…");
    if (!todos->outdated().isEmpty() && !todos->needsUpdate())
        s.upNextNote = QStringLiteral("Needs an update: ") + todos->outdated().join(QStringLiteral(", "));

    // Rows cost a widget and three actions each: a long list shows its first ones.
    const size_t shown = std::min(items.size(), maxTodoRows);
    s.upNextMore = int(items.size() - shown);
    for (size_t i = 0; i < shown; ++i) {
        const Todo& t = items[i];
        const QString row = QStringLiteral("todo.") + (t.ws ? upperId(t.ws->id) : QStringLiteral("-")) + u'.' + t.id;
        m.act(row, weakly([ws = t.ws](AppController& c) { c.openBoard(ws); }));
        const bool busy = busyStatus(t.status);
        std::optional<QString> start;
        if (!busy)
            start = m.act(row + QStringLiteral(".start"), weakly([t](AppController& c) { c.todoAction(t, true); }));
        const QString done = m.act(row + QStringLiteral(".done"),
                                   weakly([t](AppController& c) { c.todoAction(t, false); }));
        QStringList meta;
        for (const auto& part : {t.topic.value_or(QString()), t.effort.value_or(QString()), t.status})
            if (!part.isEmpty())
                meta << part;
        MenuState::TodoRow todoRow{row,
                                   t.title,
                                   busy,
                                   meta.isEmpty() ? std::nullopt : std::optional(meta.join(QStringLiteral(" · "))),
                                   start,
                                   done};
        const QString group = t.ws ? t.ws->name : QString();
        auto it = std::find_if(s.groups.begin(), s.groups.end(), [&](const auto& g) { return g.name == group; });
        if (it == s.groups.end())
            s.groups.push_back({group, {todoRow}});
        else
            it->items.push_back(todoRow);
    }
}

const std::vector<std::shared_ptr<Session>>& AppController::pendingSessions()
{
    if (!pendingWatch_) {
        // Folders appear and go in the recordings folder; a session's own
        // folder changes when its metadata is saved (written by rename).
        pendingWatch_ = std::make_unique<QFileSystemWatcher>();
        auto changed = [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->sessionsChanged();
                self->rebuildMenu();
            }
        };
        QObject::connect(pendingWatch_.get(), &QFileSystemWatcher::directoryChanged, pendingWatch_.get(), changed);
    }
    const QStringList state = pendingState();
    if (!pending_ || state != pendingState_) {
        pending_ = Session::pending();
        pendingState_ = state;
        QStringList watched = {Paths::recordings()};
        for (const auto& session : *pending_)
            watched << session->dir();
        if (const QStringList old = pendingWatch_->directories(); !old.isEmpty())
            pendingWatch_->removePaths(old);
        pendingWatch_->addPaths(watched);
    }
    return *pending_;
}

QStringList AppController::pendingState() const
{
    QStringList routingNow = routing.values(), uploadingNow = uploading.values();
    routingNow.sort();
    uploadingNow.sort();
    return QStringList{QString::number(int(upload.kind))} << routeScores.keys() << QStringLiteral("|") << routingNow
                                                          << QStringLiteral("|") << uploadingNow;
}

void AppController::sessionsChanged()
{
    pending_.reset();
}
