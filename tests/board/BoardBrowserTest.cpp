// The board window in Qt WebEngine on the private desktop, against the fake
// platform over real HTTP.
#include "board/Board.h"
#include "board/CookieFile.h"
#include "core/Log.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "platform/DesktopHelpers.h"
#include "support/BoardSite.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QWebEnginePage>
#include <gtest/gtest.h>

namespace {

bool sawPath(const FakePlatform& platform, const std::string& path)
{
    for (const auto& r : platform.requests())
        if (r.path == path)
            return true;
    return false;
}

class BoardBrowser : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform.start();
        other.start();
        settings.setPlatformBase(platform.base());
        board.isSignedIn = [this] { return signedIn; };
        board.accountKey = [] { return QStringLiteral("zv_test_account_key"); };
        board.openBrowser = [this](const QUrl& url) { browser.push_back(url); };
        board.downloadFolder = downloads.path();
        QObject::connect(&board, &Board::downloaded, [this](const QString& path) { done.push_back(path); });
        QObject::connect(&board, &Board::downloadFailed, [this](const QString& why) { refused.push_back(why); });
        QObject::connect(&board, &Board::pageColour, [this](const QColor& c) { colours.push_back(c); });
    }

    QString path() const { return board.currentURL() ? board.currentURL()->path() : QString(); }
    void js(const QString& script) { board.view()->page()->runJavaScript(script); }

    TempSupport support;
    FakePlatform platform;
    FakePlatform other;
    BoardSite site{platform};
    QTemporaryDir dir;
    QTemporaryDir downloads;
    Settings settings{std::make_unique<QSettings>(dir.filePath("s.conf"), QSettings::IniFormat)};
    Accounts accounts{settings};
    Board board{accounts};
    bool signedIn = true;
    std::vector<QUrl> browser;
    std::vector<QString> done, refused;
    std::vector<QColor> colours;
};

TEST_F(BoardBrowser, SignedInBoardLinksDownloadsAndSignOut)
{
    {
        SCOPED_TRACE("opens signed in through the exchange");
        board.show(QUrl(platform.base() + "/app/r/rec%3A1"));
        ASSERT_TRUE(waitFor([&] { return board.view()->title() == "Board /app/r/rec:1"; }, 120)) << path().toStdString();
        EXPECT_EQ(site.exchanges(), 1);
        EXPECT_EQ(site.liveSessions().size(), 1u);
        EXPECT_FALSE(sawPath(platform, "/signin"));
        EXPECT_EQ(board.window()->windowTitle(), "Board /app/r/rec:1");
        ASSERT_TRUE(waitFor([&] { return !colours.empty(); }, 30));
        EXPECT_EQ(colours.back(), QColor(240, 242, 245));
        EXPECT_TRUE(waitFor(
            [&] {
                return std::any_of(board.cookies().begin(), board.cookies().end(),
                                   [](const QNetworkCookie& c) { return c.name() == "zv_sess"; });
            },
            30));
    }
    {
        SCOPED_TRACE("an outside host goes to the browser");
        js("location.href = 'https://example.org/outside'");
        ASSERT_TRUE(waitFor([&] { return !browser.empty(); }, 30));
        EXPECT_EQ(browser[0], QUrl("https://example.org/outside"));
        EXPECT_EQ(path(), "/app/r/rec:1");
    }
    {
        SCOPED_TRACE("two downloads of one name keep both files; a foreign frame may not download");
        other.route("GET", "/files/evil.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Disposition", "attachment; filename=\"evil.bin\"");
            res.set_content("evil", "application/octet-stream");
        });
        // Two links the user clicks (real clicks through the X server), and a
        // foreign frame that downloads by itself.
        js("for (const n of [1, 2]) { const a = document.createElement('a'); a.href = '/files/report.pdf?n=' + n; "
           "a.download = ''; a.textContent = 'report ' + n; a.id = 'report' + n;"
           " a.style = 'position:fixed;left:20px;top:' + (n * 60) + 'px;width:200px;height:40px;display:block;"
           "background:#ccc;z-index:9';"
           " document.body.appendChild(a); }"
           "const f = document.createElement('iframe'); f.src = '"
           + other.base()
           + "/files/evil.bin';"
             " document.body.appendChild(f);");
        ASSERT_TRUE(waitFor([&] { return !refused.empty(); }, 60));
        QWidget* view = board.view();
        for (int n : {1, 2}) {
            ASSERT_TRUE(waitFor(
                [&] {
                    const QPoint at = view->mapToGlobal(QPoint(60, n * 60 + 20));
                    run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
                    return waitFor([&] { return done.size() >= size_t(n); }, 5);
                },
                60))
                << n;
        }
        const QDir folder(downloads.path());
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden, QDir::Name), (QStringList{"report 2.pdf", "report.pdf"}));
        QStringList contents{QString::fromUtf8(readFile(folder.filePath("report.pdf"))),
                             QString::fromUtf8(readFile(folder.filePath("report 2.pdf")))};
        contents.sort();
        EXPECT_EQ(contents, (QStringList{"contents of report.pdf from 1", "contents of report.pdf from 2"}));
        EXPECT_EQ(refused, std::vector<QString>{"refused"});
    }
    {
        SCOPED_TRACE("sign-out posts our session cookie to the platform and lands on the sign-in page");
        const std::string session = *site.liveSessions().begin();
        signedIn = false;
        board.signedOut();
        ASSERT_TRUE(waitFor([&] { return path() == "/signin" && !site.signouts().empty(); }, 60))
            << path().toStdString();
        EXPECT_EQ(site.signouts(), std::vector<std::string>{session});
        for (const auto& r : platform.requests()) {
            if (r.path == "/auth/signout") {
                EXPECT_EQ(r.header("Cookie"), "zv_sess=" + session);
            }
        }
        EXPECT_TRUE(std::none_of(board.cookies().begin(), board.cookies().end(),
                                 [](const QNetworkCookie& c) { return c.name() == "zv_sess"; }));
    }
    {
        SCOPED_TRACE("a failed load shows the failure page and Reload tries the page asked for again");
        settings.setPlatformBase("http://nohost.invalid");
        int failures = 0;
        QObject::connect(board.view()->page(), &QWebEnginePage::loadFinished, [&](bool ok) { failures += ok ? 0 : 1; });
        const auto failurePage = [&] {
            QString html;
            bool got = false;
            board.view()->page()->toHtml([&](const QString& h) {
                html = h;
                got = true;
            });
            waitFor([&] { return got; }, 10);
            return html.contains(QString::fromUtf8("Can’t reach nohost.invalid"));
        };
        board.show(QUrl("http://nohost.invalid/app"));
        ASSERT_TRUE(waitFor([&] { return failures == 1 && failurePage(); }, 60));
        EXPECT_EQ(board.window()->windowTitle(), "Zelvan");
        // Reloading the failure page itself would succeed; only the page asked for fails again.
        board.reload();
        ASSERT_TRUE(waitFor([&] { return failures == 2; }, 60));
        EXPECT_TRUE(waitFor(failurePage, 60));
    }
    {
        SCOPED_TRACE("closing the window");
        board.close();
        EXPECT_FALSE(board.isOpen());
    }
}

TEST_F(BoardBrowser, ThePlatformsErrorPagesShowAndBackLeavesTheFailurePage)
{
    board.show(QUrl(platform.base() + "/app"));
    ASSERT_TRUE(waitFor([&] { return board.view()->title() == "Board /app"; }, 120)) << path().toStdString();
    platform.route("GET", "/app/gone", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<!doctype html><title>Gone from the platform</title><p>404</p>", "text/html");
    });
    js("location.href = '/app/gone'");
    ASSERT_TRUE(waitFor([&] { return board.view()->title() == "Gone from the platform"; }, 60))
        << board.view()->title().toStdString();
    // The page is the platform's answer, not a failure of ours.
    bool finished = false;
    auto once = QObject::connect(board.view()->page(), &QWebEnginePage::loadFinished, [&] { finished = true; });
    js("location.reload()");
    ASSERT_TRUE(waitFor([&] { return finished; }, 60));
    QObject::disconnect(once);
    EXPECT_EQ(board.view()->url().path(), "/app/gone");
    EXPECT_EQ(board.window()->windowTitle(), "Gone from the platform");
    slogFlush();
    EXPECT_FALSE(logLines().join('\n').contains("load failed")) << logLines().join('\n').toStdString();

    // A dropped connection is a network failure.
    FakePlatform::Fault drop;
    drop.drop = true;
    platform.fail("GET", "/app/dropped", drop, -1);
    js("location.href = '/app/dropped'");
    ASSERT_TRUE(waitFor([&] { return board.view()->url().scheme() == "data"; }, 60)) << path().toStdString();
    const auto failures = [] { return logLines().filter("board: load failed").size(); };
    ASSERT_TRUE(waitFor([&] { return failures() == 1; }, 30));
    board.goBack();
    finished = false;
    once = QObject::connect(board.view()->page(), &QWebEnginePage::loadFinished, [&] { finished = true; });
    ASSERT_TRUE(waitFor([&] { return finished && board.view()->url().path() == "/app/gone"; }, 60))
        << board.view()->url().toString().left(80).toStdString();
    QObject::disconnect(once);
    slogFlush();
    EXPECT_EQ(failures(), 1);
    EXPECT_EQ(board.view()->title(), "Gone from the platform");
}

TEST_F(BoardBrowser, AForeignFrameWritesNoFileAndOpensNoBrowser)
{
    board.show(QUrl(platform.base() + "/app"));
    ASSERT_TRUE(waitFor([&] { return board.view()->title() == "Board /app"; }, 120)) << path().toStdString();
    // Another site's frame tries to drop files through blob: and data: links
    // and to open a browser window, with no click.
    other.route("GET", "/frame", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<!doctype html><script>"
            "const drop = (href, name) => { const a = document.createElement('a'); a.href = href; a.download = name;"
            " document.body.appendChild(a); a.click(); };"
            "onload = () => { drop(URL.createObjectURL(new Blob(['echo pwned'])), 'run.sh');"
            " drop('data:text/plain,hello', 'note.txt'); window.open('https://example.org/popup');"
            " document.title = 'tried';"
            " setTimeout(() => { location.href = 'zelvan://session/rec:9'; }, 1000); };"
            "</script><body>frame</body>",
            "text/html");
    });
    js("const f = document.createElement('iframe'); f.src = '" + other.base() + "/frame'; document.body.appendChild(f);");
    ASSERT_TRUE(waitFor([&] { return refused.size() >= 2; }, 60)) << refused.size();
    // The board's own page, downloading by script with no click of the user's.
    js("const a = document.createElement('a'); a.href = '/files/report.pdf?n=9'; a.download = '';"
       " document.body.appendChild(a); a.click();");
    ASSERT_TRUE(waitFor([&] { return refused.size() >= 3; }, 60)) << refused.size();
    QThread::msleep(2000); // the frame's link, had it been followed, would have moved the board by now
    EXPECT_TRUE(done.empty());
    EXPECT_TRUE(QDir(downloads.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(browser.empty());
    EXPECT_EQ(path(), "/app") << "a foreign frame's zelvan: link was followed";
}

// A second run of the app: a new board over the same support folder, whose
// profile finds the first run's cookies on disk only.
TEST(BoardRuns, ANewRunReusesTheSessionOnDiskAndSignsItOutWithoutOpening)
{
    TempSupport support;
    FakePlatform platform;
    BoardSite site{platform};
    platform.start();
    QTemporaryDir dir;
    Settings settings{std::make_unique<QSettings>(dir.filePath("s.conf"), QSettings::IniFormat)};
    settings.setPlatformBase(platform.base());
    Accounts accounts{settings};
    bool signedIn = true;
    const auto makeBoard = [&] {
        auto board = std::make_unique<Board>(accounts);
        board->isSignedIn = [&] { return signedIn; };
        board->accountKey = [] { return QStringLiteral("zv_test_account_key"); };
        board->openBrowser = [](const QUrl&) {};
        return board;
    };
    const auto title = [](Board& b) { return b.view() ? b.view()->title() : QString(); };

    std::string session;
    {
        SCOPED_TRACE("first run: signed in through the exchange");
        auto board = makeBoard();
        board->show(QUrl(platform.base() + "/app"));
        ASSERT_TRUE(waitFor([&] { return title(*board) == "Board /app"; }, 120));
        ASSERT_EQ(site.liveSessions().size(), 1u);
        session = *site.liveSessions().begin();
        board->close();
        board.reset();
        // The engine writes its cookie file in its own time.
        const QString file = QDir(support.path()).filePath("board/Cookies");
        ASSERT_TRUE(waitFor(
            [&] {
                const auto all = CookieFile::read(file);
                return std::any_of(all.begin(), all.end(), [](const QNetworkCookie& c) { return c.name() == "zv_sess"; });
            },
            120));
    }
    {
        SCOPED_TRACE("second run: the first open reuses the session on disk");
        auto board = makeBoard();
        board->show(QUrl(platform.base() + "/app/p/x"));
        ASSERT_TRUE(waitFor([&] { return title(*board) == "Board /app/p/x"; }, 120));
        EXPECT_EQ(site.exchanges(), 1);
        board->close();
    }
    {
        SCOPED_TRACE("third run: sign-out before the board was opened ends the session");
        auto board = makeBoard();
        signedIn = false;
        board->signedOut();
        ASSERT_TRUE(waitFor([&] { return !site.signouts().empty(); }, 60));
        EXPECT_EQ(site.signouts(), std::vector<std::string>{session});
        EXPECT_FALSE(board->isOpen());
        board.reset();
        // The next opening carries no cookie of the old session.
        auto next = makeBoard();
        const size_t before = platform.requests().size();
        next->show(QUrl(platform.base() + "/app"));
        ASSERT_TRUE(waitFor([&] { return title(*next) == "Sign in"; }, 120));
        const auto requests = platform.requests();
        for (size_t i = before; i < requests.size(); ++i)
            EXPECT_EQ(requests[i].header("Cookie").find(session), std::string::npos) << requests[i].path;
    }
}

} // namespace
