#pragma once

#include "board/AppSession.h"
#include "platform/Http.h"

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// The board's navigation decisions without a browser: which page to load, when
// to exchange the account key for a web session (at most once in 20 s), the
// page to reach after sign-in, the policy for every navigation, and signing the
// web view out. The browser, the cookie store and the network come in as ports.
// Main thread only.
class BoardNav {
public:
    struct Ports {
        std::function<QString()> base;  // the configured platform base
        std::function<bool()> signedIn; // the app holds an account
        std::function<QString()> accountKey;
        std::function<void(const QUrl&)> load;      // the web view loads (nothing without one)
        std::function<std::optional<QUrl>()> shown; // what the web view shows
        std::function<QList<QNetworkCookie>()> cookies;
        // Deletes the cookies, then calls back once every deletion is done.
        std::function<void(const QList<QNetworkCookie>&, std::function<void()>)> deleteCookies;
        // Runs the exchange off the main thread and answers on it.
        std::function<void(const QString& base, const QString& key, const std::optional<QString>& next,
                           std::function<void(AppSession::Result)>)>
            exchange;
        std::function<void(const Http::Request&)> signout; // fire and forget
        std::function<void(const QUrl&)> openBrowser;
        std::function<void(const QUrl&)> openDeepLink;
    };

    enum class Policy { allow, cancel, download };

    static constexpr double exchangeInterval = 20;

    explicit BoardNav(Ports ports);

    // The board home on the configured base, else on the service's default base.
    QUrl home() const;
    void navigate(const QUrl& url);
    void load(const QUrl& url);
    void exchange(const QUrl& target);

    Policy decide(const QUrl& url, bool isDownload, bool mainFrame);
    void pageFinished();
    void contentCrashed();
    void windowClosed();
    // The page to reload after the failure page.
    std::optional<QUrl> lastRequested() const { return lastRequested_; }

    void signedIn();
    void signedOut();

    QUrl nextTarget(const QUrl& signinPage) const;
    QUrl signinURL(const QUrl& next) const;
    bool isSigninPage(const QUrl& url) const;

    const std::optional<QUrl>& pendingTarget() const { return pendingTarget_; }
    bool exchanging() const { return exchanging_; }
    bool webSignedOut() const { return webSignedOut_; }

    static std::optional<QString> pathAndQuery(const QUrl& url);
    static bool isHomePath(const QUrl& url);
    // A live "zv_sess" or gateway cookie of ours.
    static bool hasWebSession(const QList<QNetworkCookie>& cookies, const QString& base, const QDateTime& now);
    // The sign-out request, carrying only a session cookie that belongs to the
    // base's host and only over https or to this machine.
    static std::optional<Http::Request> signoutRequest(const QList<QNetworkCookie>& kept, const QString& base);

private:
    bool throttled() const;
    void handle(const QUrl& target, const AppSession::Result& result);

    Ports ports_;
    std::optional<QUrl> lastRequested_;
    std::optional<QUrl> pendingTarget_;
    bool exchanging_ = false;
    std::optional<double> lastExchange_;
    bool webSignedOut_ = false;
    bool clearing_ = false;
    bool signInWaiting_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
