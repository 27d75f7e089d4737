// The ordinary windows: the window keeper, the end-of-day view and the settings
// view, drawn offscreen. Keys go to the private desktop's real keyring; the
// connection test talks to the workspace fake server over HTTP. Set
// ZELVAN_SNAPSHOT_DIR to keep the images for a look.
#include "core/Keychain.h"
#include "core/Accounts.h"
#include "core/Address.h"
#include "core/WebPlatform.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"
#include "ui/Pal.h"
#include "ui/SettingsView.h"
#include "ui/Snapshot.h"
#include "ui/Spinner.h"
#include "ui/WebPage.h"
#include "ui/WindowBox.h"
#include "ui/WrapModel.h"
#include "ui/WrapView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QEventLoop>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimeEdit>
#include <QToolButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

static const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

namespace {

QString snapshotDir()
{
    static QTemporaryDir temp;
    const QString kept = qEnvironmentVariable("ZELVAN_SNAPSHOT_DIR");
    if (!kept.isEmpty()) {
        QDir().mkpath(kept);
        return kept;
    }
    return temp.path();
}

void shoot(QWidget& view, const QString& name)
{
    for (bool dark : {false, true}) {
        const QString path = snapshotDir() + "/" + name + (dark ? "-dark" : "-light") + ".png";
        ASSERT_TRUE(Snapshot::png(view, dark, path)) << path.toStdString();
        const QImage image(path);
        EXPECT_EQ(image.size(), (view.sizeHint() + QSize(48, 48)) * 2) << name.toStdString();
    }
}

// Texts of the visible labels, buttons and check boxes under `root`.
QStringList shownTexts(const QWidget& root)
{
    QStringList out;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&root))
            continue;
        if (auto* l = qobject_cast<QLabel*>(w))
            out << l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            out << b->text();
    }
    return out;
}

bool shows(const QWidget& root, const QString& text)
{
    return shownTexts(root).contains(text);
}

// Key presses as the window system delivers them: an ignored key goes on to the parent.
void press(QWidget* w, int key, const QString& text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &up);
}

void type(QWidget* w, const QString& text)
{
    for (QChar c : text)
        press(w, c.toUpper().unicode(), QString(c)); // Qt's key codes are the printable ASCII ones
}

// The next testFinished; false when none comes within a generous bound.
bool finished(SettingsView& view)
{
    QEventLoop loop;
    QObject::connect(&view, &SettingsView::testFinished, &loop, [&] { loop.exit(0); });
    QTimer::singleShot(30000, &loop, [&] { loop.exit(1); });
    return loop.exec() == 0;
}

template <typename T = QPushButton>
T* find(const QWidget& root, const QString& text)
{
    for (T* w : root.findChildren<T*>())
        if (w->text() == text)
            return w;
    return nullptr;
}

QLabel* labelStarting(const QWidget& root, const QString& start)
{
    for (QLabel* l : root.findChildren<QLabel*>())
        if (l->text().startsWith(start) && l->isVisibleTo(&root))
            return l;
    return nullptr;
}

// A settings store of its own and a keyring service of its own per test.
class Window : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = Keychain::service();
        Keychain::setService("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
        s_ = std::make_unique<Settings>(Settings::suite("test-" + QUuid::createUuid().toString(QUuid::WithoutBraces)));
        a_ = std::make_unique<Accounts>(*s_);
        s_->setPlatformBase(Address::defaultBase);
        s_->setWorkspaces({}); // a fresh store lists two sample servers
        WebPage::setOpener([this](const Url& url) { opened_ << url.text(); });
    }
    void TearDown() override
    {
        view_.reset();
        Keychain::remove(Keychain::accountItem);
        for (const Workspace& ws : s_->workspaces())
            Keychain::remove(ws.id.toString(QUuid::WithoutBraces).toUpper());
        Keychain::setService(previous_);
        WebPage::setOpener({});
    }

    SettingsView& open()
    {
        view_ = std::make_unique<SettingsView>(
            *a_, signIn_, [this] { ++changes_; }, [this] { ++signOuts_; });
        return *view_;
    }

    void signIn(const std::vector<Workspace>& projects = {})
    {
        ASSERT_TRUE(a_->signIn("zv_key", "ada@example.com", std::nullopt));
        s_->setProjects(projects);
    }

    std::vector<Workspace> projects() const
    {
        auto seatless = WebPlatform::project(Address::defaultBase, "tovarind", "Tovarind", std::nullopt);
        return {WebPlatform::project(Address::defaultBase, "bramel", "Bramel", "owner"), seatless};
    }

    static QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

    TempSupport support_;
    std::unique_ptr<Settings> s_;
    std::unique_ptr<Accounts> a_;
    SignIn signIn_;
    std::unique_ptr<SettingsView> view_;
    int changes_ = 0;
    int signOuts_ = 0;
    QStringList opened_;

private:
    QString previous_;
};

struct Sized : QWidget {
    QSize sizeHint() const override { return {320, 200}; }
};

} // namespace

// --- Window keeper ------------------------------------------------------------

TEST(WindowBoxTest, OneWindowPerIdContentSwappedAndForgottenWhenClosed)
{
    WindowBox box;
    QPointer<QWidget> first = new Sized;
    box.show("wrap", "Your day", first);
    QWidget* window = box.window("wrap");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), QSize(320, 200)) << "sized to the view";
    EXPECT_TRUE(window->isVisible());

    QPointer<QWidget> second = new Sized;
    box.show("wrap", "Another title", second);
    EXPECT_EQ(box.window("wrap"), window);
    EXPECT_EQ(box.count(), 1);
    EXPECT_EQ(window->windowTitle(), "Your day") << "the first title stays";
    EXPECT_TRUE(second->isVisibleTo(window));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first) << "the old content goes";

    box.show("settings", "Zelvan Settings", new QWidget);
    EXPECT_EQ(box.count(), 2);
    EXPECT_NE(box.window("settings"), window);
    EXPECT_EQ(box.window("settings")->size(), QSize(600, 600)) << "a view without a size of its own";

    QWidget foreign;
    box.windowClosed(&foreign);
    EXPECT_EQ(box.count(), 2);

    window->close();
    EXPECT_FALSE(box.window("wrap"));
    EXPECT_EQ(box.count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(second) << "a closed window goes with its view";

    box.show("wrap", "New title", new Sized);
    ASSERT_TRUE(box.window("wrap"));
    EXPECT_EQ(box.window("wrap")->windowTitle(), "New title");
    EXPECT_TRUE(box.window("settings")->isVisible()) << "independent of the other id";
}

// --- End of day ---------------------------------------------------------------

TEST(WrapViewTest, ProgressThenResultsAsPlainText)
{
    WrapModel m;
    WrapView view(m);
    EXPECT_EQ(view.sizeHint(), QSize(480, 460));
    auto* spinner = view.findChild<Spinner*>();
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isVisibleTo(&view));
    EXPECT_TRUE(shows(view, QString::fromUtf8("Uploading today’s activity…")));
    EXPECT_FALSE(find(view, "Open board")->isVisibleTo(&view));
    EXPECT_TRUE(find(view, "Close")->isVisibleTo(&view));
    for (const char* heading : {"Highlights", "Tomorrow", "Follow-ups added to your inbox"})
        EXPECT_FALSE(shows(view, heading));
    shoot(view, "wrap-running");

    m.setSummary("<b>Shipped</b> the importer & reviewed two PRs.");
    m.setHighlights({"Importer merged",
                     "A long highlight that goes on and on across several lines so that it "
                     "has to wrap inside the scroll area and push the next rows down."});
    m.setTomorrow({"Write the release notes"});
    m.setCards({{"c1", "Follow up with Bea"}});
    m.setError("The summary came late.");
    m.setRunning(false);
    m.board = Url::parse("https://zelvan.app/#/board");
    m.setPhase("Writing the summary…");

    EXPECT_FALSE(spinner->isVisibleTo(&view));
    EXPECT_FALSE(shows(view, "Writing the summary…")) << "no phase line once done";
    EXPECT_TRUE(shows(view, "The summary came late.")) << "error and summary together";
    QLabel* summary = labelStarting(view, "<b>Shipped");
    ASSERT_TRUE(summary) << "server text shown verbatim";
    EXPECT_EQ(summary->textFormat(), Qt::PlainText);
    EXPECT_TRUE(summary->textInteractionFlags() & Qt::TextSelectableByMouse);
    for (const char* text :
         {"Highlights", "Tomorrow", "Follow-ups added to your inbox", "•", "→", "☐", "Follow up with Bea"})
        EXPECT_TRUE(shows(view, QString::fromUtf8(text))) << text;
    EXPECT_FALSE(shows(view, "c1")) << "a card's id is not shown";
    EXPECT_TRUE(find(view, "Open board")->isVisibleTo(&view));
    shoot(view, "wrap-done");
}

// The brand's slash reads on both backgrounds: the palette's accent, never the
// bright lime on the light window (a contrast of about 1:1 there).
TEST(WrapViewTest, TheSlashTakesTheAccentOfTheScheme)
{
    WrapModel m;
    WrapView view(m);
    for (bool dark : {false, true}) {
        const QString path = snapshotDir() + QString("/wrap-slash-%1.png").arg(dark ? "dark" : "light");
        ASSERT_TRUE(Snapshot::png(view, dark, path));
        QWidget* slash = view.findChild<QWidget*>("slash");
        if (!slash)
            slash = find<QLabel>(view, "/");
        ASSERT_NE(slash, nullptr);
        // The snapshot is twice the size, with 24 points of padding.
        const QRect at((slash->mapTo(&view, QPoint()) + QPoint(24, 24)) * 2, slash->size() * 2);
        const QImage image = QImage(path).copy(at);
        const QColor accent = (dark ? Pal::darkPal() : Pal::lightPal()).ac;
        const auto near = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
        };
        int accentPixels = 0;
        int limePixels = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                accentPixels += near(image.pixelColor(x, y), accent);
                limePixels += near(image.pixelColor(x, y), QColor(198, 255, 61)) && !near(accent, QColor(198, 255, 61));
            }
        EXPECT_GT(accentPixels, 10) << (dark ? "dark" : "light");
        EXPECT_EQ(limePixels, 0) << (dark ? "dark" : "light");
    }
}

TEST(WrapViewTest, OpenBoardOnlyForWebPagesAndCloseClosesItsOwnWindow)
{
    QStringList opened;
    WebPage::setOpener([&](const Url& url) { opened << url.text(); });
    WrapModel m;
    m.board = Url::parse("https://zelvan.app/#/board");
    m.setRunning(false);
    WindowBox box;
    box.show("wrap", "Your day", new WrapView(m));
    QWidget other;
    other.show();
    other.activateWindow();
    auto* view = box.window("wrap")->findChild<WrapView*>();
    ASSERT_TRUE(view);

    press(view, Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{"https://zelvan.app/#/board"}) << "Return presses Open board";
    m.board = Url::parse("file:///etc/passwd");
    find(*view, "Open board")->click();
    EXPECT_EQ(opened.size(), 1) << "not a web page";

    find(*view, "Close")->click();
    EXPECT_FALSE(box.window("wrap"));
    EXPECT_TRUE(other.isVisible()) << "the focused window is not the one closed";
    WebPage::setOpener({});
}

// --- Settings: account ----------------------------------------------------------

TEST_F(Window, SignedOutShowsEachSignInPhase)
{
    using Phase = SignIn::Phase;
    struct Case {
        const char* name;
        Phase phase;
        QStringList shown;
        QStringList hidden;
    };
    const QString hint = QString::fromUtf8("Sign in with your email in the browser — no keys to paste. Your projects "
                                           "then show up here.");
    const Case cases[] = {
        {"idle", Phase::idle(), {"Sign in to Zelvan", hint}, {"Copy", "Cancel", "Getting a code…"}},
        {"starting", Phase::starting(), {"Getting a code…"}, {"Sign in to Zelvan", "Signing in…"}},
        {"finishing", Phase::finishing(), {"Signing in…"}, {"Sign in to Zelvan", "Getting a code…"}},
        {"waiting",
         Phase::waiting("WXYZ-2345", *Url::parse("https://auth.zelvan.app/device?code=WXYZ-2345")),
         {"Approve this code in your browser:", "WXYZ-2345", "Copy", "Open the page again", "Cancel",
          "A page on auth.zelvan.app opened. Sign in there with your email, check that it shows the same code, then "
          "click Approve. This window updates by itself."},
         {"Sign in to Zelvan"}},
        {"waiting-no-host",
         Phase::waiting("WXYZ-2345", *Url::parse("urn:device")),
         {"A page on zelvan.app opened. Sign in there with your email, check that it shows the same code, then "
          "click Approve. This window updates by itself."},
         {}},
        {"failed",
         Phase::failed("Couldn’t reach zelvan.app: timed out"),
         {"Sign in to Zelvan", hint, "Couldn’t reach zelvan.app: timed out"},
         {"Copy"}},
    };
    SettingsView& view = open();
    for (const Case& c : cases) {
        signIn_.preview(c.phase);
        for (const QString& text : c.shown)
            EXPECT_TRUE(shows(view, text)) << c.name << ": " << text.toStdString();
        for (const QString& text : c.hidden)
            EXPECT_FALSE(shows(view, text)) << c.name << ": " << text.toStdString();
        EXPECT_FALSE(labelStarting(view, "Server: ")) << c.name;
        EXPECT_FALSE(shows(view, "Signed in as ada@example.com"));
    }

    signIn_.preview(cases[3].phase);
    find(view, "Copy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "WXYZ-2345");
    shoot(view, "settings-waiting");
    find(view, "Cancel")->click();
    EXPECT_EQ(signIn_.phase(), SignIn::Phase::idle());
    EXPECT_TRUE(shows(view, "Sign in to Zelvan"));
    EXPECT_EQ(changes_ + signOuts_, 0) << "no callback for sign-in controls";

    // Any other base, even the same address with a trailing "/", is a test server.
    s_->setPlatformBase(Address::defaultBase + "/");
    EXPECT_TRUE(shows(view, "Server: https://zelvan.app/ (testing)"));
    shoot(view, "settings-signed-out");
}

TEST_F(Window, SignedInShowsTheAccountAndItsProjects)
{
    s_->setPlatformBase("http://127.0.0.1:9");
    signIn();
    SettingsView& view = open();
    EXPECT_TRUE(shows(view, "Signed in as ada@example.com"));
    EXPECT_TRUE(shows(view, "No project yet."));
    for (const char* hidden : {"Sign in to Zelvan", "Server: http://127.0.0.1:9 (testing)", "Open board"})
        EXPECT_FALSE(shows(view, hidden)) << hidden;
    find(view, "Create or join one…")->click();
    EXPECT_EQ(opened_, QStringList{"http://127.0.0.1:9/app/start"});

    s_->setAccountName("Ada Lovelace");
    s_->setAccountError("Couldn’t refresh the account: HTTP 500");
    s_->setProjects(projects());
    EXPECT_TRUE(shows(view, "Ada Lovelace"));
    EXPECT_TRUE(shows(view, "Couldn’t refresh the account: HTTP 500"));
    EXPECT_FALSE(shows(view, "No project yet."));
    EXPECT_TRUE(shows(view, "Bramel") && shows(view, "Tovarind") && shows(view, "owner"));
    QStringList seats;
    for (QLabel* l : view.findChildren<QLabel*>())
        if (l->text() == "owner" || l->text() == "member")
            seats << l->text();
    EXPECT_EQ(seats, QStringList{"owner"}) << "a seat only where set";
    opened_.clear();
    QList<QPushButton*> boards;
    for (QPushButton* b : view.findChildren<QPushButton*>())
        if (b->text() == "Open board")
            boards << b;
    ASSERT_EQ(boards.size(), 2);
    boards[1]->click();
    EXPECT_EQ(opened_.size(), 1);
    EXPECT_TRUE(opened_.value(0).endsWith("/#/board"));
    shoot(view, "settings-signed-in");

    find(view, "Refresh")->click();
    EXPECT_EQ(changes_, 1);
    find(view, "Sign out")->click();
    EXPECT_EQ(signOuts_, 1);
}

TEST_F(Window, LegacyGroupStartsOpenOnlyForARemoteServerWhileSignedOut)
{
    Workspace local("Dev", "http://localhost:8000");
    Workspace remote("Team", "https://team.example.com");
    s_->setWorkspaces({local});
    EXPECT_FALSE(open().legacyExpanded()) << "only a local target";
    s_->setWorkspaces({local, remote});
    a_->setKey("k", remote);
    EXPECT_TRUE(open().legacyExpanded());
    EXPECT_EQ(view_->selected(), local.id) << "the first server selected";
    signIn();
    EXPECT_FALSE(open().legacyExpanded()) << "signed in";
    EXPECT_TRUE(find<QToolButton>(*view_, "Advanced: legacy servers")->isVisibleTo(view_.get()))
        << "no projects yet: shown";

    s_->setProjects(projects());
    EXPECT_FALSE(find<QToolButton>(*view_, "Advanced: legacy servers")->isVisibleTo(view_.get()));
    a_->signOut();
    EXPECT_TRUE(find<QToolButton>(*view_, "Advanced: legacy servers")->isVisibleTo(view_.get()));
    s_->d().setValue("legacyServers", false);
    open();
    EXPECT_FALSE(find<QToolButton>(*view_, "Advanced: legacy servers")->isVisibleTo(view_.get()))
        << "switched off, servers or not";
}

// --- Settings: legacy servers -------------------------------------------------------

TEST_F(Window, LegacyListAddsRemovesAndEditsByIdentity)
{
    SettingsView& view = open();
    auto* list = view.findChild<QListWidget*>();
    QPushButton* plus = find(view, "+");
    QPushButton* minus = find(view, "−");
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(minus->isEnabled());
    find<QToolButton>(view, "Advanced: legacy servers")->click();
    EXPECT_TRUE(view.legacyExpanded());
    EXPECT_TRUE(shows(view, "Select a server"));

    plus->click();
    ASSERT_EQ(s_->workspaces().size(), 1u);
    const Workspace first = s_->workspaces()[0];
    EXPECT_EQ(first.name, "New workspace");
    EXPECT_EQ(first.server, "https://");
    EXPECT_EQ(view.selected(), first.id);
    EXPECT_EQ(view.key(), "");
    EXPECT_TRUE(minus->isEnabled());
    EXPECT_EQ(changes_, 0);

    auto fields = view.findChildren<QLineEdit*>();
    QLineEdit* name = fields[0];
    EXPECT_EQ(name->text(), "New workspace");
    name->selectAll();
    press(name, Qt::Key_Backspace);
    EXPECT_EQ(s_->workspaces()[0].name, "");
    EXPECT_EQ(list->item(0)->text(), "Untitled");
    EXPECT_EQ(name->text(), "");

    plus->click();
    const Workspace second = s_->workspaces()[1];
    EXPECT_EQ(view.selected(), second.id);
    auto names = s_->names();
    names.insert(idText(first.id), "Ada at Home");
    names.insert(idText(second.id), "Ada at Work");
    s_->setNames(names);

    // The first server goes from under the form: typing still edits the second.
    s_->setWorkspaces({second});
    type(name, " 2");
    ASSERT_EQ(s_->workspaces().size(), 1u);
    EXPECT_EQ(s_->workspaces()[0].name, "New workspace 2");
    type(fields[1], "team.example.com");
    EXPECT_EQ(s_->workspaces()[0].server, "https://team.example.com");

    s_->setWorkspaces({first, s_->workspaces()[0]});
    view.select(second.id);
    minus->click();
    EXPECT_EQ(view.selected(), first.id) << "the first left is selected";
    EXPECT_EQ(changes_, 1);
    EXPECT_FALSE(s_->names().contains(idText(second.id))) << "its display name goes too";
    EXPECT_TRUE(s_->names().contains(idText(first.id)));
    minus->click();
    EXPECT_FALSE(view.selected());
    EXPECT_TRUE(s_->workspaces().empty());
    EXPECT_FALSE(minus->isEnabled());
    EXPECT_FALSE(fields[0]->isVisibleTo(&view));
    EXPECT_TRUE(shows(view, "Select a server"));
}

TEST_F(Window, TheKeyIsWrittenOncePerEdit)
{
    Workspace a("A", "https://a.example.com");
    Workspace b("B", "https://b.example.com");
    s_->setWorkspaces({a, b});
    a_->setKey("key-b", b);
    SettingsView& view = open();
    QLineEdit* key = view.findChildren<QLineEdit*>()[2];
    ASSERT_EQ(key->echoMode(), QLineEdit::Password);

    type(key, "secret-a ");
    EXPECT_FALSE(Keychain::get(idText(a.id))) << "nothing while typing";
    EXPECT_EQ(view.key(), "secret-a ");
    view.select(b.id); // the focus leaves for the list
    EXPECT_EQ(Keychain::get(idText(a.id)), "secret-a") << "trimmed, once the edit ends";
    EXPECT_EQ(key->text(), "key-b") << "the other server's key is loaded";

    Keychain::set(idText(a.id), "changed elsewhere");
    view.select(a.id);
    view.select(b.id);
    EXPECT_EQ(Keychain::get(idText(a.id)), "changed elsewhere") << "selecting writes nothing";

    // Return ends the edit, and presses "Done".
    view.show();
    key->setFocus();
    key->selectAll();
    press(key, Qt::Key_Backspace);
    press(key, Qt::Key_Return);
    EXPECT_FALSE(Keychain::get(idText(b.id))) << "an emptied key deletes the item";
    EXPECT_FALSE(view.isVisible()) << "Done closed the window";

    Keychain::set(idText(b.id), "again");
    view.hide();
    EXPECT_EQ(Keychain::get(idText(b.id)), "again") << "written once, not again when the window closes";

    view.show();
    type(key, "typed-then-closed");
    view.close();
    EXPECT_EQ(Keychain::get(idText(b.id)), "typed-then-closed") << "closing the window ends the edit";
}

TEST_F(Window, ConnectionTestAgainstTheWorkspaceServer)
{
    FakePlatform platform;
    WorkspaceServer server(platform, WorkspaceServer::Mode::auth, "good-key");
    server.setName("Bea Okafor");
    platform.start();

    Workspace ws("Team", platform.base() + "/ ");
    s_->setWorkspaces({ws});
    SettingsView& view = open();
    QLineEdit* key = view.findChildren<QLineEdit*>()[2];
    QPushButton* test = find(view, "Test");
    find<QToolButton>(view, "Advanced: legacy servers")->click();

    type(key, "bad-key");
    test->click();
    EXPECT_TRUE(view.testing());
    EXPECT_EQ(test->text(), "Testing…");
    EXPECT_FALSE(test->isEnabled());
    ASSERT_TRUE(finished(view));
    const auto failed = view.testResult(ws.id);
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->startsWith("✗ ") && failed->endsWith("(HTTP 401)")) << failed->toStdString();
    EXPECT_TRUE(s_->names().isEmpty());
    EXPECT_EQ(changes_, 0);
    EXPECT_EQ(test->text(), "Test");

    key->clear();
    type(key, " good-key ");
    test->click();
    ASSERT_TRUE(finished(view));
    EXPECT_EQ(view.testResult(ws.id), "✓ Connected as Bea Okafor");
    EXPECT_TRUE(shows(view, "✓ Connected as Bea Okafor"));
    EXPECT_EQ(s_->names().value(idText(ws.id)), "Bea Okafor");
    EXPECT_EQ(changes_, 1);
    ASSERT_FALSE(platform.requests().empty());
    EXPECT_EQ(platform.requests().back().header("Authorization"), "Bearer good-key") << "the field's key, trimmed";

    platform.route("GET", "/api/me", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, "{\"name\":\"no ego\"}");
    });
    test->click();
    ASSERT_TRUE(finished(view));
    EXPECT_EQ(view.testResult(ws.id), "✗ no ego in /api/me");
    EXPECT_EQ(changes_, 1);
    shoot(view, "settings-legacy");
}

TEST_F(Window, ConnectionTestKeepsKeysOffPlainHttpToOtherHosts)
{
    FakePlatform platform;
    WorkspaceServer server(platform);
    platform.start();
    Workspace remote("Remote", "http://team.example.com");
    Workspace local("Local", platform.base());
    s_->setWorkspaces({remote, local});
    SettingsView& view = open();

    view.runTest(remote.id);
    const auto refused = view.testResult(remote.id);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->startsWith("✗ Not sent: plain http")) << refused->toStdString();
    EXPECT_FALSE(view.testing());

    view.runTest(local.id);
    ASSERT_TRUE(finished(view));
    EXPECT_EQ(view.testResult(local.id), "✓ Connected as Test Person") << "plain http on this computer is fine";
    EXPECT_TRUE(view.testResult(remote.id)) << "each server keeps its own line";
}

// --- Settings: options --------------------------------------------------------------

TEST_F(Window, OptionsFollowTheirEnableRulesAndOnlyThePickerCallsBack)
{
    SettingsView& view = open();
    const auto box = [&](const QString& start) {
        for (QCheckBox* b : view.findChildren<QCheckBox*>())
            if (b->text().startsWith(start))
                return b;
        ADD_FAILURE() << start.toStdString();
        return static_cast<QCheckBox*>(nullptr);
    };
    QCheckBox* offer = box("Offer to kick in");
    QCheckBox* automatic = box("Kick in on calls automatically");
    QCheckBox* team = box("File clear team calls");
    QCheckBox* track = box("Track my work day");
    QCheckBox* titles = box("Include window titles");
    EXPECT_EQ(box("Show what Zelvan hears")->text(),
              "Show what Zelvan hears while active (on this computer only, nothing stored)");
    EXPECT_EQ(view.findChildren<QCheckBox*>().size(), 11);

    automatic->click();
    EXPECT_TRUE(s_->autoRecordCalls());
    offer->click();
    EXPECT_FALSE(s_->offerCalls());
    EXPECT_FALSE(automatic->isEnabled());
    EXPECT_TRUE(automatic->isChecked()) << "greyed out, its value stays";
    offer->click();
    EXPECT_TRUE(automatic->isEnabled() && automatic->isChecked());
    EXPECT_FALSE(team->isEnabled()) << "signed out";
    EXPECT_FALSE(titles->isEnabled());

    auto* step = view.findChild<QSpinBox*>();
    EXPECT_EQ(step->text(), "50 min of activity");
    step->stepDown();
    EXPECT_EQ(s_->breakMinutes(), 45);
    step->setValue(10);
    EXPECT_EQ(s_->breakMinutes(), 20);
    step->setValue(500);
    EXPECT_EQ(s_->breakMinutes(), 120);
    box("Break reminders after")->click();
    EXPECT_FALSE(step->isEnabled());

    auto times = view.findChildren<QTimeEdit*>();
    ASSERT_EQ(times.size(), 2);
    EXPECT_EQ(times[0]->time(), QTime(18, 0)) << "end-of-day default 1080";
    EXPECT_EQ(times[1]->time(), QTime(17, 30)) << "workout default 1050";
    times[1]->setTime(QTime(7, 45));
    EXPECT_EQ(s_->workoutMinute(), 465);
    s_->setWrapMinute(1110);
    EXPECT_EQ(times[0]->time(), QTime(18, 30));
    box("Workout reminder at")->click();
    EXPECT_FALSE(times[1]->isEnabled());
    EXPECT_EQ(changes_, 0) << "toggles, stepper and times never call back";

    track->click();
    EXPECT_TRUE(titles->isEnabled());
    EXPECT_EQ(changes_, 1);
    s_->setTrackWorkday(false); // from elsewhere
    EXPECT_EQ(changes_, 2);
    EXPECT_FALSE(track->isChecked());

    auto* picker = view.findChild<QComboBox*>();
    EXPECT_FALSE(picker->isVisibleTo(&view)) << "signed out";
    signIn({projects()[0]});
    EXPECT_FALSE(picker->isVisibleTo(&view)) << "one project";
    EXPECT_TRUE(team->isEnabled());
    s_->setProjects(projects());
    s_->setWorkdaySlug("gone");
    ASSERT_TRUE(picker->isVisibleTo(&view));
    EXPECT_EQ(picker->currentText(), "Bramel") << "the first when the slug names none";
    changes_ = 0;
    picker->activated(1);
    EXPECT_EQ(s_->workdaySlug(), "tovarind");
    EXPECT_EQ(changes_, 1);
    EXPECT_EQ(picker->currentText(), "Tovarind");
}

// Ten notches down and up over each field of a page nobody has clicked: the
// fields leave the wheel to the page, no setting moves.
TEST_F(Window, TheWheelScrollsThePageAndChangesNoSetting)
{
    signIn(projects());
    SettingsView& view = open();
    view.show();
    auto* page = view.findChild<QScrollArea*>();
    ASSERT_NE(page, nullptr);
    const auto settings = [&] {
        return QStringList{QString::number(s_->wrapMinute()), QString::number(s_->workoutMinute()),
                           QString::number(s_->breakMinutes()), s_->workdaySlug().value_or("-")};
    };
    const QStringList before = settings();
    QList<QWidget*> fields;
    for (QWidget* w : view.findChildren<QAbstractSpinBox*>())
        fields << w;
    fields << view.findChild<QComboBox*>();
    ASSERT_EQ(fields.size(), 4);
    for (QWidget* field : fields) {
        for (int notches : {-10, 10}) {
            page->verticalScrollBar()->setValue(page->verticalScrollBar()->maximum() / 2);
            const int scrolled = page->verticalScrollBar()->value();
            const QPointF at = field->rect().center();
            QWheelEvent wheel(at, field->mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(field, &wheel);
            EXPECT_EQ(settings(), before) << field->metaObject()->className();
            // Left to the page: the desktop's own wheel events go on to it (a sent one stops here).
            EXPECT_FALSE(wheel.isAccepted()) << field->metaObject()->className();
            EXPECT_EQ(page->verticalScrollBar()->value(), scrolled) << field->metaObject()->className();
        }
    }
    EXPECT_EQ(changes_, 0);
}

// The plain windows follow the scheme the kit's surfaces draw in: on a dark
// desktop they are dark with light text, not Qt's light default.
TEST_F(Window, ThePlainWindowsFollowTheScheme)
{
    signIn(projects());
    WrapModel wrap;
    WrapView wrapView(wrap);
    const std::pair<const char*, QWidget*> views[] = {{"settings", &open()}, {"wrap", &wrapView}};
    for (const auto& [name, view] : views) {
        for (bool dark : {true, false}) {
            const QString path = snapshotDir() + QString("/plain-%1-%2.png").arg(name, dark ? "dark" : "light");
            ASSERT_TRUE(Snapshot::png(*view, dark, path));
            // Inside the view's own margin: its background (snapshots are twice the size, 24 pt padding).
            const QColor background = QImage(path).pixelColor(QPoint(24 + 6, 24 + 6) * 2);
            if (dark)
                EXPECT_LT(background.lightness(), 80) << name << " dark: " << background.name().toStdString();
            else
                EXPECT_GT(background.lightness(), 180) << name << " light: " << background.name().toStdString();
        }
    }
}

TEST_F(Window, DoneClosesItsOwnWindow)
{
    WindowBox box;
    box.show("settings", "Zelvan Settings", new SettingsView(*a_, signIn_, {}, {}));
    EXPECT_EQ(box.window("settings")->size(), QSize(600, 730));
    QWidget other;
    other.show();
    other.activateWindow();
    find(*box.window("settings"), "Done")->click();
    EXPECT_FALSE(box.window("settings"));
    EXPECT_TRUE(other.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
