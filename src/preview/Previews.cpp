#include "preview/Previews.h"

#include "core/AccountInfo.h"
#include "core/Accounts.h"
#include "core/Address.h"
#include "core/Clock.h"
#include "core/Keychain.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "core/WebPlatform.h"
#include "menu/MenuModel.h"
#include "menu/PopoverView.h"
#include "platform/AppId.h"
#include "platform/Wording.h"
#include "preview/BoardPreview.h"
#include "preview/Render.h"
#include "session/LiveMeter.h"
#include "ui/HUDModel.h"
#include "ui/HUDView.h"
#include "ui/NudgeView.h"
#include "ui/Orb.h"
#include "ui/SettingsView.h"
#include "ui/Snapshot.h"
#include "ui/VoicePill.h"
#include "ui/WrapModel.h"
#include "ui/WrapView.h"
#include "ui/ZVFont.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>
#include <memory>

namespace {

// The sample account of the signed-in settings image.
const QString sampleCode = QStringLiteral("R4MT-81VB");
const QString sampleKey = QStringLiteral("zv_pemrova");
const QString sampleEmail = QStringLiteral("varra@example.com");
const QString sampleName = QStringLiteral("Varra");

struct Card {
    QString file; // the prefix, or the whole name for the first images
    QString icon;
    QString title;
    QString message;
    std::vector<std::pair<QString, bool>> buttons; // title, primary
    bool stacked = false;
    QString kind; // gives the tag and tone; empty: none and the accent tone
};

std::vector<NudgeButton> buttons(const Card& c)
{
    std::vector<NudgeButton> out;
    for (const auto& [title, primary] : c.buttons)
        out.push_back({Wording::shown(title), primary, [] {}});
    return out;
}

std::unique_ptr<NudgeView> nudge(const Card& c)
{
    const NudgeView::Tag tag = c.kind.isEmpty() ? NudgeView::Tag{} : NudgeView::tag(c.kind);
    // Shown as this desktop words it, like every nudge the application raises.
    return std::make_unique<NudgeView>(c.icon, Wording::shown(c.title), Wording::shown(c.message), buttons(c),
                                       c.stacked, tag.text, tag.tone, [] {});
}

const std::vector<Card>& firstNudges()
{
    static const std::vector<Card> cards{
        {"nudge-call.png", "●", "Call in Zoom — kick in?", "Weekly design sync", {{"Not now", false}, {"Kick in", true}}},
        {"nudge-route.png",
         "/",
         "Where does this go?",
         "“Work session · 30 Oct 14:05”\nSuggested: Personal · a work session — only you see it\n"
         "No choice in 2 min → Personal (only you see it).",
         {{"Personal (private)", true}, {"Bramel · 77%", false}, {"Zelvan · 25%", false}},
         true},
        {"nudge-tip.png",
         "/",
         "Their pricing page leads with the annual plan",
         "Ours opens on monthly. Worth testing annual-first on the venue page.\n"
         "Card: Test annual-first pricing on the venue page",
         {{"Got it", false}, {"Add as card", true}}},
    };
    return cards;
}

const std::vector<Card>& promptNudges()
{
    static const std::vector<Card> cards{
        {"prompt-call-",
         "●",
         "Call in Zoom — kick in?",
         "“Weekly design sync”\nRecords screen & audio: mic = you, system audio = the other side. "
         "You choose where it goes after.",
         {{"Not now", false}, {"Kick in", true}},
         false,
         "call"},
        {"prompt-where-",
         "/",
         "Where does this go?",
         "“Work session · 30 Oct 14:05”\nSuggested: Personal · a work session — only you see it\n"
         "No choice in 2 min → Personal.",
         {{"Personal (private)", true}, {"Bramel · 77%", false}, {"Zelvan · 25%", false}},
         true,
         "route"},
        {"prompt-review-",
         "/",
         "Review ready — Weekly design sync",
         "1 suggestion to look at. Each one asks where it goes.",
         {{"Later", false}, {"Open", true}},
         false,
         "review"},
        {"prompt-tip-",
         "/",
         "Their pricing page leads with the annual plan",
         "Ours opens on monthly. Worth testing annual-first on the venue page.\nCard: Test annual-first pricing",
         {{"Got it", false}, {"Add as card…", true}},
         false,
         "tip"},
        {"prompt-saved-",
         "/",
         "Sign in to send it",
         "“Work session · 30 Oct 15:54” is saved on this Mac, not sent yet. "
         "It uploads as soon as you are signed in.",
         {{"Later", false}, {"Sign in", true}},
         false,
         "upload"},
    };
    return cards;
}

const QStringList newUIPrefixes{
    "popover-",     "popover-recording-", "hud-pill-",      "hud-card-",   "hud-dot-",
    "prompt-call-", "prompt-where-",      "prompt-review-", "prompt-tip-", "prompt-saved-",
};

// Notes the file when it was not written.
void keep(bool written, const QString& name, QStringList& failed)
{
    if (!written)
        failed << name;
}

} // namespace

namespace Previews {

QString suiteName()
{
    return QString::fromLatin1(appId) + QStringLiteral(".preview");
}

QStringList firstFiles()
{
    return {"wrap.png",           "nudge-call.png",         "nudge-route.png",   "nudge-tip.png",
            "pill-listening.png", "settings-signedout.png", "settings-code.png", "settings-signedin.png"};
}

QStringList newUIFiles()
{
    QStringList files{"board-window.png"};
    for (const char* mode : {"dark", "light"})
        for (const QString& prefix : newUIPrefixes)
            files << prefix + QLatin1String(mode) + QStringLiteral(".png");
    return files;
}

QStringList allFiles()
{
    return firstFiles() + newUIFiles();
}

QStringList renderFirst(const QString& folder)
{
    const QDir dir(folder);
    QStringList failed;

    {
        WrapModel model;
        model.setRunning(false);
        model.board = Url::parse(QStringLiteral("http://127.0.0.1:7499/#/board"));
        model.setSummary(QStringLiteral("A focused day on the launch console: the token venue page got its new "
                                        "layout, and the design call settled the leaderboard scope."));
        model.setHighlights(
            {"4 h 10 m in the editor, 50 m in calls", "Shipped the venue page layout", "Leaderboard scope agreed"});
        model.setTomorrow({"Finish the caution notices", "Review the phone web app spike"});
        model.setCards(
            {{"t:1", "Send the leaderboard plan to the team"}, {"t:2", "Check P&L numbers against the chain"}});
        WrapView view(model);
        keep(Render::png(view, dir.filePath("wrap.png"), false), "wrap.png", failed);
    }

    for (const Card& c : firstNudges()) {
        auto view = nudge(c);
        keep(Render::png(*view, dir.filePath(c.file), true), c.file, failed);
    }

    {
        VoicePill::Model model;
        model.set(true, QStringLiteral("Screenshot, their pricing leads with the annual plan"));
        VoicePill::PillView view(model);
        keep(Render::png(view, dir.filePath("pill-listening.png"), true), "pill-listening.png", failed);
    }

    // The settings images come from the preview suite and keyring service alone,
    // never from the user's own settings or account key.
    Settings::removeSuite(suiteName());
    const QString service = Keychain::service();
    Keychain::setService(suiteName());
    {
        Settings settings(Settings::suite(suiteName()));
        Accounts accounts(settings);
        SignIn signIn;
        auto draw = [&](const QString& name) {
            SettingsView view(
                accounts, signIn, [] {}, [] {});
            keep(Render::png(view, dir.filePath(name), false), name, failed);
        };
        draw(QStringLiteral("settings-signedout.png"));

        const QString host = QUrl(Address::defaultBase).host();
        signIn.preview(SignIn::Phase::waiting(sampleCode,
                                              *Url::parse(QStringLiteral("https://") + host
                                                          + QStringLiteral("/app/device?code=") + sampleCode)));
        draw(QStringLiteral("settings-code.png"));

        signIn.preview(SignIn::Phase::idle());
        const QString signedIn = QStringLiteral("settings-signedin.png");
        if (accounts.signIn(sampleKey, sampleEmail, sampleName)) {
            const QString base = settings.platformBase();
            accounts.apply(AccountInfo{sampleEmail, sampleName, std::nullopt},
                           {WebPlatform::project(base, QStringLiteral("bramel"), QStringLiteral("Bramel"),
                                                 QStringLiteral("owner")),
                            WebPlatform::project(base, QStringLiteral("tovarind"), QStringLiteral("Tovarind"),
                                                 QStringLiteral("member"))});
            settings.setTrackWorkday(true);
            draw(signedIn);
        } else {
            // Without the key the view shows no account: better no image than a
            // signed-out one under the signed-in name, or one left from an earlier run.
            slog(
                QStringLiteral("previews: the keyring refused the sample account key, so %1 is not drawn").arg(signedIn));
            QFile::remove(dir.filePath(signedIn));
            failed << signedIn;
        }

        accounts.signOut();
    }
    Keychain::setService(service);
    Settings::removeSuite(suiteName());
    return failed;
}

std::unique_ptr<MenuModel> menuModel(bool recording, QSettings& store)
{
    auto m = std::make_unique<MenuModel>(store);
    m->begin();
    QStringList ids{"rec", "board.open", "q.pin", "q.voice"};
    if (recording)
        ids << "s0";
    else
        ids << "w0"
            << "w1"
            << "w2"
            << "r0"
            << "r1";
    ids << "upnext.toggle";
    for (int i = 1; i <= 4; ++i) {
        const QString todo = QStringLiteral("todo.%1").arg(i);
        ids << todo;
        if (i > 1)
            ids << todo + ".s";
        ids << todo + ".d";
    }
    ids << "wd"
        << "p1"
        << "p2"
        << "pn"
        << "f1"
        << "f2"
        << "f.settings"
        << "f.quit";
    for (const QString& id : ids)
        m->act(id, [] {});

    MenuState s;
    s.name = QStringLiteral("Brelt");
    s.sub = QStringLiteral("2 projects");
    s.status = QStringLiteral("● connected · ") + QUrl(Address::defaultBase).host() + QStringLiteral(" · 4 up next");
    s.statusTone = ZVChip::Tone::accent;
    s.rec = recording ? MenuState::Rec::recording(754, 23, 3, true) : MenuState::Rec::idle();
    s.recID = QStringLiteral("rec");
    s.openBoard = QStringLiteral("board.open");
    s.quick = {MBtn{"q.pin", recording ? "Pin" : "Add pin", false, QStringLiteral("⌥⌘P")},
               MBtn{"q.voice", "Voice", false, QStringLiteral("hold ⌥⌘␣")}};
    if (recording) {
        s.attention = {MenuState::Attn{"s",
                                       "Saved",
                                       ZVChip::Tone::accent,
                                       "Pins · 30 Oct 11:20 · Personal",
                                       std::nullopt,
                                       std::nullopt,
                                       {MBtn{"s0", "Open in Library"}},
                                       false}};
    } else {
        s.attention = {
            MenuState::Attn{"w",
                            "Where does this go?",
                            ZVChip::Tone::accent,
                            "“Work session · 30 Oct 14:05”",
                            QStringLiteral("Suggested: Personal · a work session — only you see it · no choice in "
                                           "2 min → Personal"),
                            std::nullopt,
                            {MBtn{"w0", "Personal (private)", true}, MBtn{"w1", "Bramel · 77%"},
                             MBtn{"w2", "Zelvan · 25%"}},
                            true},
            MenuState::Attn{"r",
                            "Review ready",
                            ZVChip::Tone::accent,
                            "Weekly design sync",
                            QStringLiteral("1 suggestion — each asks where it goes"),
                            std::nullopt,
                            {MBtn{"r0", "Open review", true}, MBtn{"r1", "Add “Automate the weekly export”…"}},
                            true},
        };
    }
    s.upNextCount = 4;
    s.upNextToggle = QStringLiteral("upnext.toggle");
    s.groups = {
        {"Bramel",
         {{"todo.1", "Finish the caution notices", true, std::nullopt, std::nullopt, "todo.1.d"},
          {"todo.2", "Leaderboard plan to the team", false, std::nullopt, QStringLiteral("todo.2.s"), "todo.2.d"}}},
        {"Zelvan",
         {{"todo.3", "Personal space: move endpoint", false, std::nullopt, QStringLiteral("todo.3.s"), "todo.3.d"},
          {"todo.4", "Beta invite copy", false, std::nullopt, QStringLiteral("todo.4.s"), "todo.4.d"}}},
    };
    s.workday = MenuState::Workday{"Today 5 h 20 m tracked", MBtn{"wd", "Pause 1 h"}};
    s.projects = {{"p1", "Bramel", QStringLiteral("owner")}, {"p2", "Zelvan", QStringLiteral("owner")}};
    s.newProject = QStringLiteral("pn");
    s.footer = {
        {MBtn{"f1", "End my day…"}, "sun.haze"},
        {MBtn{"f2", "How Zelvan works"}, "book"},
        {MBtn{"f.settings", "Settings…", false, QStringLiteral("⌘,")}, "gearshape"},
        {MBtn{"f.quit", "Quit Zelvan", false, QStringLiteral("⌘Q")}, "power"},
    };
    m->commit(s);
    m->setShown(true);
    // A folded "Up next" left behind by an earlier run would hide the to-dos.
    m->setUpNextOpen(true);
    if (!recording)
        m->setSelected(QStringLiteral("w0"));
    return m;
}

QStringList newUI(const QString& folder)
{
    const QDir dir(folder);
    QStringList failed;
    Orb::setSnapshot(true);

    HUDModel hud;
    hud.setStarted(Clock::current().now().addSecs(-754));
    hud.setHearing(true);
    LiveMeter::shared().setMic(0.55f);
    const std::pair<FeedItem::Kind, const char*> feed[] = {
        {FeedItem::Kind::tip, "Their pricing page leads with the annual plan"},
        {FeedItem::Kind::slide, "screenshot saved — Pricing experiments"},
        {FeedItem::Kind::heard, "pricing page leads with annual"},
        {FeedItem::Kind::nowIn, "Figma — Venue page"},
        {FeedItem::Kind::pinned, "the leaderboard filter"},
        {FeedItem::Kind::noted, "check the venue page on mobile"},
    };
    // Oldest first, so that the feed reads newest first; six fit, none is dropped.
    for (auto it = std::rbegin(feed); it != std::rend(feed); ++it)
        hud.add(it->first, QString::fromUtf8(it->second));

    keep(BoardPreview::render(dir.filePath("board-window.png")), "board-window.png", failed);

    // The popovers' fold state lives in a store of their own, so the previews
    // neither read nor write the user's.
    QTemporaryDir scratch;
    QSettings store(scratch.filePath(QStringLiteral("menu.conf")), QSettings::IniFormat);

    for (const bool dark : {true, false}) {
        const QString mode = dark ? QStringLiteral("dark") : QStringLiteral("light");
        auto shoot = [&](QWidget& view, const QString& prefix) {
            const QString name = prefix + mode + QStringLiteral(".png");
            keep(Snapshot::png(view, dark, dir.filePath(name)), name, failed);
        };
        for (const bool recording : {false, true}) {
            const std::unique_ptr<MenuModel> model = menuModel(recording, store);
            PopoverView view(*model, false);
            shoot(view, recording ? QStringLiteral("popover-recording-") : QStringLiteral("popover-"));
        }
        for (const auto& [layout, prefix] :
             {std::pair{HUDModel::Mode::pill, "hud-pill-"}, std::pair{HUDModel::Mode::card, "hud-card-"},
              std::pair{HUDModel::Mode::dot, "hud-dot-"}}) {
            // 12:34 on the clock however long the earlier images took.
            hud.setStarted(Clock::current().now().addSecs(-754));
            hud.setMode(layout);
            HUDView view(hud);
            shoot(view, QLatin1String(prefix));
        }
        for (const Card& c : promptNudges()) {
            auto view = nudge(c);
            shoot(*view, c.file);
        }
    }
    return failed;
}

int run(int argc, char** argv, const QString& folder)
{
    // Offscreen: no display needed, and the same resolution and fonts on every machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The standard widgets as a common Linux desktop draws them, in the kit's
    // sans, whatever this machine's defaults are.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(ZVFont::sans(13));
    QDir().mkpath(folder);
    const QStringList failed = renderFirst(folder) + newUI(folder);
    slogFlush();
    if (failed.isEmpty())
        return 0;
    std::fprintf(stderr, "zelvan: these previews could not be written in %s: %s\n",
                 QFile::encodeName(folder).constData(), failed.join(QStringLiteral(", ")).toUtf8().constData());
    return 1;
}

} // namespace Previews
