#include "board/Board.h"

#include "board/BoardLook.h"
#include "board/BoardModule.h"
#include "board/GlShare.h"
#include "board/CookieFile.h"
#include "board/DeepLink.h"
#include "board/DownloadFiles.h"
#include "board/SessionLinks.h"
#include "board/WebHosts.h"
#include "core/Accounts.h"
#include "core/Log.h"
#include "core/Net.h"
#include "core/Paths.h"
#include "core/Address.h"
#include "core/Settings.h"
#include "core/Strings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QUuid>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtConcurrent>
#include <cstdio>

namespace {

const QString geometryKey = QStringLiteral("ZelvanBoard/geometry");
// A cookie deletion the engine never reports (the cookie was already gone) must
// not hold the sign-out's sign-in page back for ever.
constexpr int purgeBoundMs = 10'000;

QString profileDir(const QString& folder)
{
    return folder.isEmpty() ? QDir(Paths::support()).filePath(QStringLiteral("board")) : folder;
}

QString cookieFile(const QString& folder)
{
    return QDir(profileDir(folder)).filePath(QStringLiteral("Cookies"));
}

bool sameCookie(const QNetworkCookie& a, const QNetworkCookie& b)
{
    return a.hasSameIdentifier(b);
}

// Closing the window tears the board's view down instead of hiding it.
class BoardWindow : public QMainWindow {
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (onClose)
            onClose();
        event->accept();
    }
};

// A page that window.open creates only to learn where it was going.
class ProbePage : public QWebEnginePage {
public:
    ProbePage(QWebEngineProfile* profile, std::function<void(const QUrl&)> go)
        : QWebEnginePage(profile)
        , go_(std::move(go))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (go_)
            go_(url);
        go_ = nullptr;
        deleteLater();
        return false;
    }

private:
    std::function<void(const QUrl&)> go_;
};

} // namespace

class BoardPage : public QWebEnginePage {
public:
    BoardPage(QWebEngineProfile* profile, Board& board, QObject* parent)
        : QWebEnginePage(profile, parent)
        , board_(board)
    {
        connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
            // No camera or microphone for web pages.
            const bool media = feature == MediaAudioCapture || feature == MediaVideoCapture
                || feature == MediaAudioVideoCapture || feature == DesktopVideoCapture
                || feature == DesktopAudioVideoCapture;
            setFeaturePermission(origin, feature, media ? PermissionDeniedByUser : PermissionUnknown);
        });
        // Comes just before createWindow, which cannot tell a click from a script.
        connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
            userAskedForWindow_ = request.isUserInitiated();
        });
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return board_.nav_.decide(url, false, isMainFrame) == BoardNav::Policy::allow;
    }

    QWebEnginePage* createWindow(WebWindowType) override
    {
        // A page opens windows only when the user asked for one.
        if (!userAskedForWindow_)
            return nullptr;
        userAskedForWindow_ = false;
        Board* board = &board_;
        // Parented: a window that never navigates dies with this page, not after its profile.
        auto* probe = new ProbePage(profile(), [board](const QUrl& url) {
            const QString base = board->settings_.platformBase();
            if (url.scheme().toLower() == QStringLiteral("zelvan"))
                board->openDeepLink(url);
            else if (WebHosts::isBoard(url, base))
                board->nav_.load(url);
            else if (!url.isEmpty() && board->openBrowser)
                board->openBrowser(url);
        });
        probe->setParent(this);
        return probe;
    }

    void javaScriptAlert(const QUrl&, const QString& msg) override
    {
        QMessageBox::information(QWebEngineView::forPage(this), QStringLiteral("Zelvan"), msg);
    }

    bool javaScriptConfirm(const QUrl&, const QString& msg) override
    {
        return QMessageBox::question(QWebEngineView::forPage(this), QStringLiteral("Zelvan"), msg,
                                     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
            == QMessageBox::Ok;
    }

    bool javaScriptPrompt(const QUrl&, const QString& msg, const QString& defaultValue, QString* result) override
    {
        bool ok = false;
        const QString text = QInputDialog::getText(QWebEngineView::forPage(this), QStringLiteral("Zelvan"), msg,
                                                   QLineEdit::Normal, defaultValue, &ok);
        if (ok && result)
            *result = text;
        return ok;
    }

    QStringList chooseFiles(FileSelectionMode mode, const QStringList&, const QStringList&) override
    {
        if (mode == FileSelectOpenMultiple)
            return QFileDialog::getOpenFileNames(QWebEngineView::forPage(this));
        const QString one = QFileDialog::getOpenFileName(QWebEngineView::forPage(this));
        return one.isEmpty() ? QStringList() : QStringList{one};
    }

private:
    Board& board_;
    bool userAskedForWindow_ = false;
};

Board& Board::shared()
{
    static Board* instance = [] {
        auto* board = new Board(Accounts::shared());
        board->openSettings = [] { BoardModule::openSettings(); };
        return board;
    }();
    return *instance;
}

Board::Board(Accounts& accounts, QObject* parent)
    : QObject(parent)
    , accounts_(accounts)
    , settings_(accounts.settings())
    , nav_(BoardNav::Ports{
          .base = [this] { return settings_.platformBase(); },
          .signedIn = [this] { return isSignedIn ? isSignedIn() : false; },
          .accountKey = [this] { return accountKey ? accountKey() : QString(); },
          .load =
              [this](const QUrl& url) {
                  if (!web_)
                      return;
                  showingFailure_ = false;
                  web_->load(url);
              },
          .shown = [this] { return currentURL(); },
          .cookies = [this] { return profile_ ? cookies_ : CookieFile::read(cookieFile(profileFolder)); },
          .deleteCookies = [this](const QList<QNetworkCookie>& list,
                                  std::function<void()> done) { deleteCookies(list, std::move(done)); },
          .exchange =
              [this](const QString& base, const QString& key, const std::optional<QString>& next,
                     std::function<void(AppSession::Result)> answer) {
                  QtConcurrent::run(&Net::pool(), [base, key, next] {
                      return AppSession::request(base, key, next);
                  }).then(this, [answer](AppSession::Result result) { answer(result); });
              },
          .signout =
              [](const Http::Request& request) {
                  (void)QtConcurrent::run(&Net::pool(), [request] {
                      int status = 0;
                      try {
                          const Http::Session session(Http::Limits{.requestTimeout = 10, .resourceTimeout = 30});
                          status = session.send(request).status;
                      } catch (const std::exception&) {
                      }
                      slog(QStringLiteral("board: web session ended on the server (") + QString::number(status) + u')');
                  });
              },
          .openBrowser =
              [this](const QUrl& url) {
                  if (openBrowser)
                      openBrowser(url);
              },
          .openDeepLink = [this](const QUrl& url) { openDeepLink(url); },
      })
{
    isSignedIn = [this] { return accounts_.signedIn(); };
    accountKey = [this] { return accounts_.accountKey(); };
    openBrowser = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    // A quit with the window open never closes it: its place is kept here.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (window_) {
                keepGeometry();
                settings_.d().sync();
            }
        });
}

bool Board::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        if (auto* w = qobject_cast<QWidget*>(watched); w && window_ && w->window() == window_)
            lastInput_.start();
        break;
    default:
        break;
    }
    return false;
}

void Board::keepGeometry()
{
    if (window_)
        settings_.d().setValue(geometryKey, window_->saveGeometry());
}

Board::~Board()
{
    // Pages go before their profile.
    delete window_.data();
}

QWebEngineProfile* Board::profile()
{
    if (profile_)
        return profile_;
    GlShare::ready();
    const QString dir = Paths::ensure(profileDir(profileFolder));
    // What the engine loads from disk it never reports; changes from now on it does.
    cookies_ = CookieFile::read(cookieFile(profileFolder));
    profile_ = new QWebEngineProfile(QStringLiteral("ZelvanBoard"), this);
    profile_->setPersistentStoragePath(dir);
    profile_->setCachePath(QDir(dir).filePath(QStringLiteral("cache")));
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    profile_->setHttpUserAgent(profile_->httpUserAgent() + QStringLiteral(" Zelvan-mac/1.0"));
    QWebEngineCookieStore* store = profile_->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& c) {
        cookies_.removeIf([&](const QNetworkCookie& k) { return sameCookie(k, c); });
        cookies_ << c;
    });
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& c) {
        cookies_.removeIf([&](const QNetworkCookie& k) { return sameCookie(k, c); });
        for (Purge& purge : purges_)
            purge.waiting.removeIf([&](const QNetworkCookie& k) { return sameCookie(k, c); });
        finishPurges();
    });
    connect(profile_, &QWebEngineProfile::downloadRequested, this, &Board::download);
    return profile_;
}

void Board::finishPurges()
{
    for (auto it = purges_.begin(); it != purges_.end();) {
        if (it->waiting.isEmpty()) {
            auto done = std::move(it->done);
            it = purges_.erase(it);
            done();
        } else {
            ++it;
        }
    }
}

void Board::deleteCookies(const QList<QNetworkCookie>& list, std::function<void()> done)
{
    if (!profile_) {
        // No profile has the file open: the board was not opened in this run.
        if (!CookieFile::remove(cookieFile(profileFolder), list))
            slog(QStringLiteral("board: could not delete the cookies from ") + cookieFile(profileFolder));
        QMetaObject::invokeMethod(
            this, [done] { done(); }, Qt::QueuedConnection);
        return;
    }
    if (list.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [done] { done(); }, Qt::QueuedConnection);
        return;
    }
    const int id = ++purgeCount_;
    purges_.push_back({id, list, std::move(done)});
    for (const QNetworkCookie& c : list)
        profile_->cookieStore()->deleteCookie(c);
    QTimer::singleShot(purgeBoundMs, this, [this, id] {
        for (Purge& purge : purges_)
            if (purge.id == id)
                purge.waiting.clear();
        finishPurges();
    });
}

std::optional<QUrl> Board::currentURL() const
{
    if (!web_ || web_->url().isEmpty())
        return std::nullopt;
    return web_->url();
}

void Board::open(const QUrl& url)
{
    if (url.scheme().toLower() == QStringLiteral("zelvan"))
        openDeepLink(url);
    else if (WebHosts::isBoard(url, settings_.platformBase()))
        show(url);
    else if (openBrowser)
        openBrowser(url);
}

void Board::openDeepLink(const QUrl& link)
{
    const QString text = QString::fromUtf8(link.toEncoded());
    const auto parsed = DeepLink::parse(text);
    const auto target = parsed ? parsed->webURL(settings_.platformBase(),
                                                [this](const QString& id) { return SessionLinks::link(accounts_, id); })
                               : std::nullopt;
    if (!target) {
        slog(QStringLiteral("deep link not understood: ") + Log::oneLine(text.left(80)) + QStringLiteral(" -> board"));
        show(std::nullopt);
        return;
    }
    slog(QStringLiteral("deep link ") + parsed->describe() + QStringLiteral(" -> ")
         + Log::oneLine(cut(target->path(), 200)));
    show(target);
}

void Board::show(const std::optional<QUrl>& url)
{
    const bool existed = window_ != nullptr;
    if (!existed)
        makeWindow();
    setDock(true);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (!url && existed)
        return;
    nav_.navigate(url.value_or(nav_.home()));
}

void Board::signedIn()
{
    nav_.signedIn();
}

void Board::signedOut()
{
    nav_.signedOut();
}

void Board::makeWindow()
{
    GlShare::ready();
    auto* win = new BoardWindow;
    win->onClose = [this] { teardown(); };
    win->setWindowTitle(QStringLiteral("Zelvan"));
    win->resize(1280, 820);
    win->setMinimumSize(720, 460);
    QPalette dark = win->palette();
    dark.setColor(QPalette::Window, BoardLook::darkBG);
    win->setPalette(dark);
    win->setAutoFillBackground(true);

    auto* web = new QWebEngineView(win);
    auto* page = new BoardPage(profile(), *this, web);
    page->setBackgroundColor(BoardLook::darkBG);
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    web->setPage(page);
    win->setCentralWidget(web);

    auto* bar = new QToolBar(win);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* back = bar->addAction(QStringLiteral("‹"), this, &Board::goBack);
    back->setToolTip(QStringLiteral("Back"));
    QAction* fwd = bar->addAction(QStringLiteral("›"), this, &Board::goForward);
    fwd->setToolTip(QStringLiteral("Forward"));
    auto* left = new QWidget(bar);
    left->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(left);
    auto* title = new QLabel(QStringLiteral("Zelvan"), bar);
    title->setMaximumWidth(420);
    QFont f = title->font();
    f.setPointSizeF(9);
    f.setWeight(QFont::DemiBold);
    title->setFont(f);
    bar->addWidget(title);
    auto* right = new QWidget(bar);
    right->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(right);
    QAction* reloadAction = bar->addAction(QStringLiteral("⟳"), this, &Board::reload);
    reloadAction->setToolTip(QStringLiteral("Reload"));
    win->addToolBar(bar);
    back->setEnabled(false);
    fwd->setEnabled(false);
    connect(page, &QWebEnginePage::titleChanged, this, &Board::updateTitle);
    connect(page, &QWebEnginePage::urlChanged, this, [back, fwd, web] {
        back->setEnabled(web->history()->canGoBack());
        fwd->setEnabled(web->history()->canGoForward());
    });
    connect(page, &QWebEnginePage::loadFinished, this, &Board::loadFinished);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        // Aborted loads (-3) are not failures, and a page the server answered
        // with an error status is its own page: only a load that reached no
        // answer shows the failure page.
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && info.errorCode() != -3
            && info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain
            && info.errorDomain() != QWebEngineLoadingInfo::NoErrorDomain)
        {
            failedURL_ = info.url();
            failed(info.errorString());
        }
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this, [this] { nav_.contentCrashed(); });

    // Menus: Ctrl stands for the Mac's Command key.
    QMenu* app = win->menuBar()->addMenu(QStringLiteral("Zelvan"));
    app->addAction(QStringLiteral("Open Board"), QKeySequence(Qt::CTRL | Qt::Key_O), this, [this] { show(); });
    app->addAction(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this, [this] {
        if (openSettings)
            openSettings();
    });
    QMenu* viewMenu = win->menuBar()->addMenu(QStringLiteral("View"));
    viewMenu->addAction(QStringLiteral("Back"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft), this, &Board::goBack);
    viewMenu->addAction(QStringLiteral("Forward"), QKeySequence(Qt::CTRL | Qt::Key_BracketRight), this,
                        &Board::goForward);
    viewMenu->addAction(QStringLiteral("Reload"), QKeySequence(Qt::CTRL | Qt::Key_R), this, &Board::reload);
    viewMenu->addSeparator();
    viewMenu->addAction(QStringLiteral("Actual Size"), QKeySequence(Qt::CTRL | Qt::Key_0), this, &Board::zoomReset);
    viewMenu->addAction(QStringLiteral("Zoom In"), QKeySequence(Qt::CTRL | Qt::Key_Equal), this, &Board::zoomIn);
    viewMenu->addAction(QStringLiteral("Zoom Out"), QKeySequence(Qt::CTRL | Qt::Key_Minus), this, &Board::zoomOut);
    QMenu* windowMenu = win->menuBar()->addMenu(QStringLiteral("Window"));
    windowMenu->addAction(QStringLiteral("Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), win, &QWidget::showMinimized);

    if (const QByteArray geometry = settings_.d().value(geometryKey).toByteArray(); !geometry.isEmpty())
        win->restoreGeometry(geometry);
    window_ = win;
    web_ = web;
    titleField_ = title;
    qApp->installEventFilter(this);
    slog(QStringLiteral("board: window opened"));
}

void Board::teardown()
{
    if (!window_)
        return;
    keepGeometry();
    QMainWindow* win = window_;
    if (web_) {
        web_->page()->disconnect(this);
        web_->stop();
    }
    window_ = nullptr;
    web_ = nullptr;
    titleField_ = nullptr;
    qApp->removeEventFilter(this);
    lastInput_.invalidate();
    showingFailure_ = false;
    nav_.windowClosed();
    setDock(false);
    win->deleteLater();
    slog(QStringLiteral("board: window closed"));
}

void Board::close()
{
    if (window_)
        window_->close();
}

void Board::updateTitle()
{
    QString title = web_ ? web_->title().trimmed() : QString();
    // WebEngine shows the address while a page has no title.
    if (title.isEmpty() || (web_ && title == web_->url().toString()) || showingFailure_)
        title = QStringLiteral("Zelvan");
    if (window_)
        window_->setWindowTitle(title);
    if (titleField_)
        titleField_->setText(title);
}

void Board::loadFinished(bool ok)
{
    if (!ok || showingFailure_)
        return;
    matchPageColors();
    nav_.pageFinished();
}

void Board::failed(const QString& description)
{
    slog(QStringLiteral("board: load failed: ") + Log::oneLine(description));
    if (!web_)
        return;
    const QUrl base(Address::clean(settings_.platformBase()));
    const QString host = base.host().isEmpty() ? QStringLiteral("Zelvan") : base.host();
    // setHtml shows a data: URL; the flag lets Reload go back to the page asked for.
    showingFailure_ = true;
    web_->setHtml(BoardLook::failurePage(host, description));
    updateTitle();
}

void Board::matchPageColors()
{
    if (!web_)
        return;
    QPointer<Board> self(this);
    web_->page()->runJavaScript(QStringLiteral("getComputedStyle(document.body).backgroundColor"),
                                [self](const QVariant& result) {
                                    if (!self || !self->window_ || result.typeId() != QMetaType::QString)
                                        return;
                                    const auto colour = BoardLook::parseCSSColor(result.toString());
                                    if (!colour)
                                        return;
                                    QPalette p = self->window_->palette();
                                    const bool light = BoardLook::isLight(BoardLook::luminance(*colour));
                                    p.setColor(QPalette::Window, *colour);
                                    p.setColor(QPalette::WindowText, light ? QColor(20, 22, 26) : QColor(243, 245, 248));
                                    p.setColor(QPalette::ButtonText, p.color(QPalette::WindowText));
                                    self->window_->setPalette(p);
                                    if (self->web_)
                                        self->web_->page()->setBackgroundColor(*colour);
                                    emit self->pageColour(*colour);
                                });
}

void Board::goBack()
{
    if (!web_)
        return;
    if (!showingFailure_) {
        web_->back();
        return;
    }
    // Behind the failure page stands the failed page itself, which would only
    // fail again: back goes to the page before both.
    QWebEngineHistory* history = web_->history();
    for (int i = history->currentItemIndex() - 1; i >= 0; --i) {
        const QUrl url = history->itemAt(i).url();
        if (url.scheme() != QStringLiteral("data") && url != failedURL_) {
            history->goToItem(history->itemAt(i));
            return;
        }
    }
}

void Board::goForward()
{
    if (web_)
        web_->forward();
}

void Board::reload()
{
    if (!web_)
        return;
    const auto shown = currentURL();
    if (showingFailure_ || !shown || shown->scheme() == QStringLiteral("about")) {
        if (const auto last = nav_.lastRequested())
            nav_.load(*last);
        return;
    }
    web_->reload();
}

void Board::zoomIn()
{
    if (web_)
        web_->setZoomFactor(BoardLook::zoomIn(web_->zoomFactor()));
}

void Board::zoomOut()
{
    if (web_)
        web_->setZoomFactor(BoardLook::zoomOut(web_->zoomFactor()));
}

void Board::zoomReset()
{
    if (web_)
        web_->setZoomFactor(1.0);
}

void Board::setDock(bool open)
{
    const auto next = DockPolicy::change(dock_, open);
    if (!next)
        return;
    // The board window is the app's only taskbar entry; the tray icon stays.
    dock_ = *next;
    slog(QStringLiteral("board: dock icon ") + (open ? QStringLiteral("on") : QStringLiteral("off")));
}

void Board::download(QWebEngineDownloadRequest* request)
{
    const QString base = settings_.platformBase();
    const QUrl url = request->url();
    const QString scheme = url.scheme();
    // Only the board and the gateway may put files in Downloads. A blob: URL
    // names the origin that made it; a data: URL names none, so it is refused.
    const auto fromUs = [&](const QUrl& u) { return WebHosts::isBoard(u, base) || WebHosts::isAuth(u); };
    const bool ours = scheme == QStringLiteral("blob") ? fromUs(QUrl(url.path())) : fromUs(url);
    // Files land only after the user did something in the window: a page's
    // script alone cannot fill Downloads.
    const bool asked = lastInput_.isValid() && lastInput_.elapsed() < userActionMs;
    if (!ours || !asked) {
        slog(QStringLiteral("board: download refused from ") + (url.host().isEmpty() ? scheme : url.host())
             + (ours ? QStringLiteral(" (no click or key in the window)") : QString()));
        request->cancel();
        emit downloadFailed(QStringLiteral("refused"));
        return;
    }
    QString folder = downloadFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)
                                              : downloadFolder;
    QDir().mkpath(folder);
    const QString target = DownloadFiles::uniqueFile(folder, DownloadFiles::sanitise(request->suggestedFileName()));
    if (target.isEmpty()) {
        slog(QStringLiteral("board: download failed: cannot write to ") + folder);
        request->cancel();
        emit downloadFailed(QStringLiteral("cannot write to ") + folder);
        return;
    }
    // The browser writes beside the reserved name and the finished file takes
    // its place, so a half-written file never carries the final name.
    const QString part = QStringLiteral(".zelvan-") + QUuid::createUuid().toString(QUuid::WithoutBraces)
        + QStringLiteral(".part");
    request->setDownloadDirectory(folder);
    request->setDownloadFileName(part);
    const QString partPath = QDir(folder).filePath(part);
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, request, target, partPath] {
        if (!request->isFinished())
            return;
        if (request->state() == QWebEngineDownloadRequest::DownloadCompleted
            && std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(target).constData()) == 0) {
            slog(QStringLiteral("board: downloaded ") + Log::oneLine(QFileInfo(target).fileName()));
            emit downloaded(target);
            return;
        }
        QFile::remove(partPath);
        QFile::remove(target);
        const QString why = request->interruptReasonString().isEmpty() ? QStringLiteral("cancelled")
                                                                       : request->interruptReasonString();
        slog(QStringLiteral("board: download failed: ") + Log::oneLine(why));
        emit downloadFailed(why);
    });
    request->accept();
}
