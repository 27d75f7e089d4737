// The menu built from the controller's state: the dump of each state the
// popover must get right, its keyboard order, and what each action reaches.
#include "ControllerFixture.h"

#include "menu/MenuModel.h"
#include "session/PinQueue.h"
#include "session/Session.h"

#include <QRegularExpression>

namespace {

class MenuBuild : public ControllerFixture {
public:
    // A finished recording on disk.
    std::shared_ptr<Session> finished(const QString& title, const QDateTime& started)
    {
        auto s = Session::create(title, "Screen", std::nullopt, started);
        s->meta().ended = started.addSecs(600);
        s->save();
        return s;
    }

    void twoTodos()
    {
        web->project("bramel").setTodos(todoItems({{"t1", "open"}, {"t2", "In_Progress"}}));
        web->project("tovarind").setTodos(todoItems({{"t3", "open"}}));
    }

    QString dump()
    {
        c->rebuildMenu();
        // The clock of a running recording moves on its own.
        return menu.dump().replace(QRegularExpression("active \\d+:\\d\\d"), "active 0:00");
    }
};

struct Case {
    const char* name;
    std::function<void(MenuBuild&)> setUp;
    const char* dump;
    QStringList order;
};

} // namespace

TEST_F(MenuBuild, EachStateDumpsAsThePopoverShowsIt)
{
    const QDateTime t0(QDate(2025, 1, 30), QTime(9, 0), QTimeZone::utc());
    const std::vector<Case> cases = {
        {"signed out",
         [](MenuBuild&) {},
         R"(Not signed in — 
  ○ sign in to send sessions
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ ACCOUNT ] Sign in to Zelvan — Email code in the browser — no keys to paste.
    ▸ Sign in
// UP NEXT (0) — Sign in to Zelvan first
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.signin", "upnext.toggle", "f.guide", "f.settings", "f.quit"}},
        {"signing in with a code",
         [](MenuBuild& t) {
             t.c->signIn->preview(SignIn::Phase::waiting("ABCD-1234", *Url::parse("https://x.test/app/device")));
         },
         R"(Signing in… — code ABCD-1234
  approve the code in your browser
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ SIGNING IN ] Approve ABCD-1234 in the browser
      Show
// UP NEXT (0) — Sign in to Zelvan first
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.code", "upnext.toggle", "f.guide", "f.settings", "f.quit"}},
        {"signed in with projects and to-dos",
         [](MenuBuild& t) {
             t.signIn();
             t.twoTodos();
             t.loadTodos();
         },
         R"(Ada Lovelace — 2 projects
  ● connected · 127.0.0.1 · 3 up next
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
// UP NEXT (3)
  Bramel
    Do t1  [Start]  [Done]
    ▶ Do t2  [Done]
  Tovarind
    Do t3  [Start]  [Done]
// PROJECTS
  Bramel · owner
  Tovarind · member
End my day…
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec",       "board.open",      "q.pin",          "q.voice",    "upnext.toggle",
          "todo.B.t1", "todo.B.t1.start", "todo.B.t1.done", "todo.B.t2",  "todo.B.t2.done",
          "todo.T.t3", "todo.T.t3.start", "todo.T.t3.done", "p.B",        "p.T",
          "p.new",     "f.wrap",          "f.guide",        "f.settings", "f.quit"}},
        {"account error",
         [](MenuBuild& t) {
             t.signIn();
             t.settings->setProjects({});
             t.settings->setAccountError("the sign-in is no longer valid — sign out and sign in again");
         },
         R"(Ada Lovelace — no project yet
  ● connected · 127.0.0.1
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ PROJECTS ] Create or join a project
      Open Zelvan
[ ACCOUNT ] the sign-in is no longer valid — sign out and sign in again
// UP NEXT (0) — No project yet
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.newproj", "upnext.toggle", "f.guide", "f.settings", "f.quit"}},
        {"legacy server",
         [](MenuBuild& t) {
             Workspace w("Acme", t.fake.base());
             t.settings->setWorkspaces({w});
             t.settings->setNames({{w.id.toString(QUuid::WithoutBraces).toUpper(), "Bo"}});
         },
         R"(Bo — Acme (legacy server)
  ● legacy server
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ ACCOUNT ] Sign in to Zelvan — Email code in the browser — no keys to paste.
    ▸ Sign in
// UP NEXT (0) — Loading…
End my day…
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.signin", "upnext.toggle", "f.wrap", "f.guide", "f.settings",
          "f.quit"}},
        {"recording",
         [](MenuBuild& t) {
             t.c->startRecording();
             t.worker.finishAll();
         },
         R"(Not signed in — 
  ○ sign in to send sessions
[● Zelvan active 0:00 · recording screen & audio · 0 shots · 0 pins — Wrap up]
[Open board Ctrl+O]
  Pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ ACCOUNT ] Sign in to Zelvan — Email code in the browser — no keys to paste.
    ▸ Sign in
// UP NEXT (0) — Sign in to Zelvan first
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.signin", "upnext.toggle", "f.guide", "f.settings", "f.quit"}},
        {"waiting pins",
         [](MenuBuild&) {
             PinQueue::add(QByteArray("jpeg"), "one");
             PinQueue::add(QByteArray("jpeg"), "two");
         },
         R"(Not signed in — 
  ○ sign in to send sessions
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ ACCOUNT ] Sign in to Zelvan — Email code in the browser — no keys to paste.
    ▸ Sign in
[ PINS ] 2 pins waiting — Send them as one session; Zelvan asks where it goes.
    ▸ Send…
// UP NEXT (0) — Sign in to Zelvan first
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.signin", "a.pins", "upnext.toggle", "f.guide", "f.settings",
          "f.quit"}},
        {"failed upload",
         [t0](MenuBuild& t) {
             t.signIn();
             t.finished("Standup", t0);
             t.c->upload = {AppController::UploadState::Kind::failed, "Standup", std::nullopt,
                            "server said no (HTTP 500)"};
         },
         R"(Ada Lovelace — 2 projects
  ● connected · 127.0.0.1
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ SAVED ON THIS COMPUTER ] Standup — server said no (HTTP 500)
[ SAVED ON THIS COMPUTER ] 1 session not sent yet
    ▸ Retry upload
// UP NEXT (0) — Loading…
// PROJECTS
  Bramel · owner
  Tovarind · member
End my day…
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "a.retry", "upnext.toggle", "p.B", "p.T", "p.new", "f.wrap",
          "f.guide", "f.settings", "f.quit"}},
        {"where does this go",
         [t0](MenuBuild& t) {
             t.signIn();
             auto s = t.finished(QString(51, u'w'), t0);
             const Workspace bramel = t.settings->projects()[0];
             t.c->routeScores[s->dir()] = {RouteResult{bramel, 0.82, {"with Bo"}}};
             t.c->routeSuggest[s->dir()] = Suggestion{RouteResult{bramel, 0.82, {"with Bo"}}, "with Bo"};
         },
         R"(Ada Lovelace — 2 projects
  ● connected · 127.0.0.1
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ WHERE DOES THIS GO? ] “wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww…” — Suggested: Bramel · with Bo · no choice in 2 min → Personal
    ▸ Bramel · 82%
      Personal (private)
      Tovarind
// UP NEXT (0) — Loading…
// PROJECTS
  Bramel · owner
  Tovarind · member
End my day…
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "w.20250130-100000.0", "w.20250130-100000.1", "w.20250130-100000.2",
          "upnext.toggle", "p.B", "p.T", "p.new", "f.wrap", "f.guide", "f.settings", "f.quit"}},
        {"review ready",
         [](MenuBuild& t) {
             t.signIn();
             AppController::ReviewWatch r{"rec:7", API("http://127.0.0.1:1", "k")};
             r.title = "Weekly sync";
             r.dest = "bramel";
             r.ready = true;
             r.suggestions = {{"0", QString(41, u's'), "why"}, {"1", "Ship it", std::nullopt}};
             t.c->reviews.push_back(r);
             t.settings->setLastFiled(FiledRef{"rec:7", "Weekly sync", "bramel", QDateTime::currentDateTimeUtc()});
         },
         R"(Ada Lovelace — 2 projects
  ● connected · 127.0.0.1
[Kick in Ctrl+Alt+R]
  records screen & audio
[Open board Ctrl+O]
  Add pin Ctrl+Alt+P | Voice hold Ctrl+Alt+Space
[ REVIEW READY ] Weekly sync — 2 suggestions — each asks where it goes
    ▸ Open review
      Add “sssssssssssssssssssssssssssssssssssssss…”…
      Add “Ship it”…
[ LAST SESSION ] “Weekly sync” is in Bramel
      Move…
// UP NEXT (0) — Loading…
// PROJECTS
  Bramel · owner
  Tovarind · member
End my day…
How Zelvan works
Settings…  Ctrl+,
Quit Zelvan  Ctrl+Q
)",
         {"rec", "board.open", "q.pin", "q.voice", "r.rec:7", "r.rec:7.0", "r.rec:7.1", "a.move", "upnext.toggle",
          "p.B", "p.T", "p.new", "f.wrap", "f.guide", "f.settings", "f.quit"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        fresh();
        k.setUp(*this);
        EXPECT_EQ(dump(), QString(k.dump));
        // Project ids follow the fake platform's port: written "B" and "T" here.
        QStringList order = menu.model().visibleOrder();
        for (const Workspace& w : settings->projects())
            order.replaceInStrings(w.id.toString(QUuid::WithoutBraces).toUpper(), w.slug == "bramel" ? "B" : "T");
        EXPECT_EQ(order, k.order);
        QFile::remove(PinQueue::path());
        for (const auto& s : Session::pending())
            QDir(s->dir()).removeRecursively();
    }
}

TEST_F(MenuBuild, EachActionReachesItsFlow)
{
    signIn();
    web->project("bramel").setTodos(todoItems({{"t1", "open"}}));
    loadTodos();
    settings->setTrackWorkday(true);
    c->upload = {AppController::UploadState::Kind::saved, "Standup", QUrl(fake.base() + "/app/r/rec:1"), {}};
    c->rebuildMenu();
    const QString base = fake.base();
    const QString b = settings->projects()[0].id.toString(QUuid::WithoutBraces).toUpper();
    const QString bramelBoard = settings->projects()[0].link("board")->text();
    MenuModel& m = menu.model();
    EXPECT_EQ(m.s().attention.front().open, "a.up");

    struct Case {
        QString id;
        QStringList board;
    };
    const std::vector<Case> opens = {
        {"board.open", {"show"}},
        {"p." + b, {"open " + bramelBoard}},
        {"todo." + b + ".t1", {"open " + bramelBoard}},
        {"p.new", {"open " + base + "/app/start"}},
        {"a.up", {"open " + base + "/app/r/rec:1"}},
    };
    for (const Case& k : opens) {
        SCOPED_TRACE(k.id.toStdString());
        board.calls.clear();
        m.perform(k.id);
        EXPECT_EQ(board.calls, k.board);
    }

    m.perform("f.settings");
    EXPECT_EQ(windows->shown, QStringList{"settings Zelvan Settings"});
    m.perform("f.guide");
    EXPECT_EQ(application.browsed, QStringList{"https://zelvan.app/guide"});

    // The work day pauses for an hour and resumes.
    m.perform("wd.toggle");
    EXPECT_EQ(c->tracker->pausedUntil(), clock.now().addSecs(3600));
    ASSERT_TRUE(m.s().workday && m.s().workday->button);
    EXPECT_EQ(m.s().workday->button->title, "Resume");
    EXPECT_TRUE(m.s().workday->line.startsWith("Today ") && m.s().workday->line.contains(" · paused until "));
    m.perform("wd.toggle");
    EXPECT_FALSE(c->tracker->pausedUntil());
    EXPECT_EQ(m.s().workday->button->title, "Pause 1 h");

    const bool open = m.upNextOpen();
    m.perform("upnext.toggle", true);
    EXPECT_EQ(m.upNextOpen(), !open);
    m.perform("upnext.toggle", true);

    m.perform("todo." + b + ".t1.start");
    ASSERT_EQ(worker.jobs.size(), 1u);
    worker.finishAll();
    EXPECT_EQ(web->project("bramel").todoActions(), std::vector<std::string>{"start t1"});

    // The tile starts a command in click mode (the flag is taken at once); here
    // there is no speech, so the pill says why.
    m.perform("q.voice");
    EXPECT_FALSE(c->voiceByClick);
    ASSERT_NE(pill, nullptr);
    EXPECT_EQ(pill->texts, std::vector<QString>{"Voice commands need speech and mic access."});

    // Starting: no record button, so the keyboard begins at the board row.
    c->rebuildMenu();
    m.perform("rec");
    EXPECT_TRUE(c->starting);
    c->rebuildMenu();
    EXPECT_EQ(m.visibleOrder().front(), "board.open");
    worker.finishAll();
    c->stopRecording();
    worker.finishAll();

    // While a pin is being taken its button is shown but does nothing.
    c->pinning = true;
    c->rebuildMenu();
    EXPECT_EQ(m.s().quick.front().id, "q.pin.off");
    EXPECT_FALSE(m.has("q.pin.off"));
    c->pinning = false;

    m.perform("f.quit");
    EXPECT_EQ(application.terminated, 1);
}

TEST_F(MenuBuild, SignInFromTheMenuOpensSettingsAndAsksForACode)
{
    c->rebuildMenu();
    menu.model().perform("a.signin");
    EXPECT_EQ(windows->shown, QStringList{"settings Zelvan Settings"});
    ASSERT_TRUE(waitFor([&] { return c->signIn->code().has_value(); }));
    c->rebuildMenu();
    EXPECT_EQ(menu.model().s().name, "Signing in…");
    menu.model().perform("a.code");
    EXPECT_EQ(windows->shown.size(), 2);
    c->signIn->cancel();
}

TEST_F(MenuBuild, RecordingsChangingOnDiskReachAnOpenMenu)
{
    const QDateTime t0(QDate(2025, 1, 30), QTime(9, 0), QTimeZone::utc());
    signIn();
    finished("One", t0);
    c->rebuildMenu();
    auto card = [&] {
        for (const auto& a : menu.model().s().attention)
            if (a.id == "a.retry")
                return a.title;
        return QString();
    };
    EXPECT_EQ(card(), "1 session not sent yet");

    // Another finished recording appears: the menu follows without being asked.
    auto two = finished("Two", t0.addSecs(3600));
    EXPECT_TRUE(waitFor([&] { return card() == "2 sessions not sent yet"; }));

    // One is kept for Personal: its metadata changes on disk.
    two->meta().waitingPersonal = true;
    two->meta().routeDone = true;
    two->save();
    EXPECT_TRUE(waitFor([&] { return card() == "1 session not sent yet"; }));

    // A flow that asks where a new session goes shows its card in the same
    // rebuild, before the folder's change is reported.
    auto three = finished("Three", t0.addSecs(7200));
    c->routeScores[three->dir()] = {};
    c->rebuildMenu();
    EXPECT_EQ(menu.model().s().attention.front().id, "w." + QFileInfo(three->dir()).fileName());
}

TEST_F(MenuBuild, SendingThePinsMakesTheirSessionOffTheMainThread)
{
    PinQueue::add(QByteArray("jpeg"), "one");
    PinQueue::add(QByteArray("jpeg"), "two");
    c->rebuildMenu();
    menu.model().perform("a.pins");
    // Only queued: the images are read and the session written by the worker.
    EXPECT_EQ(PinQueue::count(), 2);
    EXPECT_TRUE(Session::pending().empty());
    worker.finishAll();
    EXPECT_EQ(PinQueue::count(), 0);
    const auto sessions = Session::pending();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions.front()->meta().pins.size(), 2u);
    // Nobody is signed in: the new session waits for a sign-in.
    ASSERT_FALSE(nudges.shown.empty());
    EXPECT_EQ(nudges.shown.back().kind, "upload");
}

// Long lists show their first rows and say how many more there are; every
// to-do still counts.
TEST_F(MenuBuild, LongListsShowTheirFirstRowsAndHowManyMore)
{
    signIn();
    QJsonArray many;
    for (int i = 0; i < 45; ++i)
        many.append(QJsonObject{{"id", QString("t%1").arg(i)}, {"title", QString("Do %1").arg(i)}, {"status", "open"}});
    web->project("bramel").setTodos(many);
    std::vector<Workspace> projects = settings->projects();
    for (int i = 0; i < 20; ++i)
        projects.push_back(WebPlatform::project(fake.base(), QString("extra%1").arg(i), QString("Extra %1").arg(i),
                                                "member"));
    settings->setProjects(projects);
    loadTodos();
    const QString text = dump();
    const MenuState& s = menu.model().s();
    EXPECT_GE(s.upNextCount, 45);
    size_t rows = 0;
    for (const auto& g : s.groups)
        rows += g.items.size();
    EXPECT_EQ(rows, 30u);
    EXPECT_EQ(s.projects.size(), 12u);
    EXPECT_TRUE(text.contains(QString("\n    and %1 more\n").arg(s.upNextCount - 30))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString("\n  and %1 more\n").arg(projects.size() - 12))) << text.toStdString();
    // A left-out to-do has no action: the keyboard walks only what is shown.
    const QString row = "todo." + projects[0].id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_TRUE(menu.model().has(row + ".t0"));
    EXPECT_FALSE(menu.model().has(row + ".t44"));
}
