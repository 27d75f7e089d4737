#pragma once

#include "board/BoardNav.h"
#include "board/DockPolicy.h"

#include <QHash>
#include <QList>
#include <QNetworkCookie>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <optional>

#include <QLabel>
#include <QMainWindow>
#include <QWebEngineView>

class QWebEngineDownloadRequest;
class QWebEngineProfile;
class Accounts;
class Settings;

// The one board window: the platform's web app in a Qt WebEngine view with a
// named persistent profile under the support folder, signed in from the
// account key. Decisions live in BoardNav; this class wires them to the view,
// its cookie store, downloads, dialogs and the window's chrome. Main thread only.
class Board : public QObject {
    Q_OBJECT

public:
    static Board& shared();
    explicit Board(Accounts& accounts, QObject* parent = nullptr);
    ~Board() override;

    bool isOpen() const { return window_ != nullptr; }
    std::optional<QUrl> currentURL() const;
    QUrl home() const { return nav_.home(); }

    // From the app's menus: a "zelvan:" link, a board page, or the browser.
    void open(const QUrl& url);
    void openDeepLink(const QUrl& link);
    // Raises the window (making it when closed) on the page, or home; nothing
    // given keeps the page of an open window.
    void show(const std::optional<QUrl>& url = std::nullopt);
    void signedIn();
    void signedOut();

    void goBack();
    void goForward();
    void reload();
    void zoomIn();
    void zoomOut();
    void zoomReset();
    void close();

    void setDock(bool open);

    // Replaceable for tests and the app.
    std::function<bool()> isSignedIn;
    std::function<QString()> accountKey;
    std::function<void(const QUrl&)> openBrowser;
    std::function<void()> openSettings;
    QString downloadFolder; // empty: the user's Downloads folder
    // Where the web profile keeps cookies and cache, set before the board first
    // opens; empty: "board" in the support folder.
    QString profileFolder;

    QWebEngineView* view() const { return web_; }
    QMainWindow* window() const { return window_; }
    QWebEngineProfile* profile();
    const QList<QNetworkCookie>& cookies() const { return cookies_; }

signals:
    void downloaded(const QString& path);
    void downloadFailed(const QString& message);
    void pageColour(const QColor& colour);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class BoardPage;
    void makeWindow();
    void teardown();
    void keepGeometry();
    void loadFinished(bool ok);
    void failed(const QString& description);
    void matchPageColors();
    void updateTitle();
    void download(QWebEngineDownloadRequest* request);
    void deleteCookies(const QList<QNetworkCookie>& cookies, std::function<void()> done);

    Accounts& accounts_;
    Settings& settings_;
    BoardNav nav_;
    QWebEngineProfile* profile_ = nullptr;
    QPointer<QMainWindow> window_;
    QPointer<QWebEngineView> web_;
    QPointer<QLabel> titleField_;
    bool showingFailure_ = false;
    QUrl failedURL_;
    QList<QNetworkCookie> cookies_;
    void finishPurges();
    struct Purge {
        int id = 0;
        QList<QNetworkCookie> waiting;
        std::function<void()> done;
    };
    std::vector<Purge> purges_;
    int purgeCount_ = 0;
    DockPolicy::Activation dock_ = DockPolicy::Activation::accessory;
    // The last click or key of the user's in the window; downloads need one.
    QElapsedTimer lastInput_;
    static constexpr qint64 userActionMs = 10'000;
};
