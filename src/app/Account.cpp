// The account: keeping it fresh from the platform, the end of a device sign-in,
// and the settings window with its change and sign-out handlers.
#include "app/AppController.h"

#include "core/APIError.h"
#include "core/Log.h"
#include "core/WebPlatform.h"
#include "platform/Wording.h"
#include "session/Session.h"
#include "ui/SettingsView.h"

namespace {

// ["bramel(owner)", "(-)"]: each project as its slug and seat.
QString projectList(const std::vector<Workspace>& projects)
{
    QStringList items;
    for (const Workspace& w : projects)
        items << u'"' + w.slug.value_or(QString()) + u'(' + w.seat.value_or(QStringLiteral("-")) + QStringLiteral(")\"");
    return u'[' + items.join(QStringLiteral(", ")) + u']';
}

struct Failure {
    qint64 status = 0;
    QString description;
};

} // namespace

void AppController::refreshAccount(std::function<void()> then)
{
    // An answer applies only to the account it was asked for: a sign-out or a
    // sign-in in the meantime bumps the generation.
    const quint64 generation = accountGeneration;
    auto done = [then] {
        if (then)
            then();
    };

    if (accounts.signedIn()) {
        const QString base = settings.platformAddress();
        const QString key = accounts.accountKey();
        struct Answer {
            std::optional<WebPlatform::Account> account;
            Failure failure;
        };
        auto answer = std::make_shared<Answer>();
        background(
            Lane::network,
            [answer, base, key] {
                try {
                    answer->account = WebPlatform::me(base, key);
                } catch (const APIError& e) {
                    answer->failure = {e.status(), e.description()};
                } catch (const std::exception& e) {
                    answer->failure = {0, QString::fromUtf8(e.what())};
                }
            },
            [answer, generation, key, done](AppController& c) {
                if (c.accountGeneration != generation || !c.accounts.signedIn() || c.accounts.accountKey() != key)
                    return;
                if (answer->account) {
                    c.accounts.apply(answer->account->account, answer->account->projects);
                    slog(QStringLiteral("me: ") + Log::oneLine(answer->account->account.email)
                         + QStringLiteral(", projects ") + Log::oneLine(projectList(answer->account->projects)));
                } else if (answer->failure.status == 401) {
                    c.settings.setAccountError(
                        QStringLiteral("the sign-in is no longer valid — sign out and sign in again"));
                    slog(QStringLiteral("me: 401, key no longer valid"));
                } else {
                    c.settings.setAccountError(QStringLiteral("couldn’t load your projects: ")
                                               + answer->failure.description);
                    slog(QStringLiteral("me failed: ") + Log::oneLine(answer->failure.description));
                }
                c.rebuildMenu();
                done();
            });
        return;
    }

    // Not signed in: only the home legacy server is asked for the user's name.
    const std::optional<Workspace> home = accounts.home();
    const std::optional<API> api = home ? accounts.apiFor(home) : std::nullopt;
    if (!home || !api) {
        done();
        return;
    }
    struct Answer {
        std::optional<QString> name;
        QString failure;
    };
    auto answer = std::make_shared<Answer>();
    background(
        Lane::network,
        [answer, api = *api] {
            try {
                answer->name = api.me();
            } catch (const std::exception& e) {
                answer->failure = QString::fromUtf8(e.what());
            }
        },
        [answer, generation, ws = *home, done](AppController& c) {
            if (c.accountGeneration != generation)
                return;
            if (answer->name) {
                auto names = c.settings.names();
                names.insert(ws.id.toString(QUuid::WithoutBraces).toUpper(), *answer->name);
                c.settings.setNames(names);
                slog(QStringLiteral("me @ ") + Log::oneLine(ws.name) + QStringLiteral(": ")
                     + Log::oneLine(*answer->name));
            } else {
                slog(QStringLiteral("me @ ") + Log::oneLine(ws.name) + QStringLiteral(" failed: ")
                     + Log::oneLine(answer->failure));
            }
            c.rebuildMenu();
            done();
        });
}

void AppController::startSignIn()
{
    openSettings();
    if (!accounts.signedIn())
        signIn->begin(accounts);
    rebuildMenu();
}

void AppController::signInFinished()
{
    refreshTodos();
    const auto waiting = Session::pending();
    if (!waiting.empty() && !accounts.connected().empty()) {
        slog(Wording::shown(
            QStringLiteral("sign-in: %1 recording(s) waiting on this Mac -> upload").arg(waiting.size())));
        retryUploads();
    }
}

void AppController::openSettings()
{
    windows->show(QStringLiteral("settings"), QStringLiteral("Zelvan Settings"),
                  [weak = weak_from_this()]() -> QWidget* {
                      auto self = weak.lock();
                      if (!self)
                          return nullptr;
                      return new SettingsView(self->accounts, *self->signIn,
                                              self->weakly([](AppController& c) { c.settingsChanged(); }),
                                              self->weakly([](AppController& c) { c.signOut(); }));
                  });
}

void AppController::settingsChanged()
{
    refreshAccount({});
    refreshTodos();
    rebuildMenu();
}

void AppController::signOut()
{
    slog(QStringLiteral("signed out (") + Log::oneLine(settings.accountEmail().value_or(QStringLiteral("-"))) + u')');
    ++accountGeneration;
    signIn->cancel();
    accounts.signOut();
    // Nothing may go on talking to the platform with the old key.
    reviews.clear();
    tipWS.reset();
    ports_.board->signedOut();
    refreshTodos();
    rebuildMenu();
}
