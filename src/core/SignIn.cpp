#include "core/SignIn.h"

#include "core/APIError.h"
#include "core/Accounts.h"
#include "core/Log.h"
#include "core/Net.h"
#include "core/Settings.h"
#include "core/SignInError.h"

#include <QDesktopServices>
#include <QPointer>
#include <chrono>
#include <condition_variable>
#include <mutex>

// One attempt as its pool thread sees it: how to hand results to the main thread
// and whether it was cancelled. The SignIn forgets it on cancel and teardown, so
// nothing reaches a SignIn that moved on or is gone.
struct SignIn::Run {
    std::mutex mutex;
    std::condition_variable wake;
    SignIn* receiver = nullptr;

    explicit Run(SignIn* owner)
        : receiver(owner)
    {
    }

    void stop()
    {
        std::lock_guard lock(mutex);
        receiver = nullptr;
        wake.notify_all();
    }

    bool stopped()
    {
        std::lock_guard lock(mutex);
        return receiver == nullptr;
    }

    // Runs step(signIn) on the main thread, unless the attempt has been stopped.
    template <class F>
    void post(F step)
    {
        std::lock_guard lock(mutex);
        if (receiver)
            QMetaObject::invokeMethod(
                receiver, [self = receiver, step = std::move(step)] { step(self); }, Qt::QueuedConnection);
    }

    // Sleeps, cut short by stop(); false when stopped.
    bool sleep(double seconds)
    {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return receiver == nullptr; });
        return receiver != nullptr;
    }
};

SignIn::SignIn(QObject* parent)
    : QObject(parent)
    , openBrowser(&SignIn::openInBrowser)
{
}

SignIn::~SignIn()
{
    if (run_)
        run_->stop();
}

bool SignIn::busy() const
{
    return phase_.kind == Phase::Kind::waiting || phase_.kind == Phase::Kind::starting
        || phase_.kind == Phase::Kind::finishing;
}

std::optional<QString> SignIn::code() const
{
    if (phase_.kind == Phase::Kind::waiting)
        return phase_.code;
    return std::nullopt;
}

void SignIn::setPhase(const Phase& phase)
{
    phase_ = phase;
    emit phaseChanged();
}

void SignIn::preview(const Phase& phase)
{
    setPhase(phase);
}

void SignIn::openInBrowser(const Url& url)
{
    if (qEnvironmentVariable("ZELVAN_NO_BROWSER") == u"1") {
        slog(QStringLiteral("sign-in: would open ") + Log::oneLine(url.text()));
        return;
    }
    QDesktopServices::openUrl(url.toQUrl());
}

void SignIn::open(const Url& url)
{
    // The page comes from the server: only a web page is handed to the desktop,
    // never a file or a program's address.
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https") {
        slog(QStringLiteral("sign-in: not opening an approval page that is not a web address (") + Log::oneLine(scheme)
             + u')');
        return;
    }
    if (openBrowser)
        openBrowser(url);
}

void SignIn::reopen()
{
    if (phase_.kind == Phase::Kind::waiting && phase_.url)
        open(*phase_.url);
}

void SignIn::cancel()
{
    ++generation_;
    if (run_)
        run_->stop();
    run_.reset();
    setPhase(Phase::idle());
}

void SignIn::begin(Accounts& accounts)
{
    if (busy())
        return;
    const QString base = accounts.settings().platformAddress();
    const quint64 generation = ++generation_;
    if (run_)
        run_->stop();
    auto run = std::make_shared<Run>(this);
    run_ = run;
    setPhase(Phase::starting());

    QPointer<Accounts> target(&accounts);
    const auto pause = pause_;
    Net::pool().start([run, base, generation, target, pause] {
        const auto onCode = [run, generation](const DeviceStart& start) {
            run->post([generation, start](SignIn* self) {
                if (generation != self->generation_)
                    return;
                self->setPhase(Phase::waiting(start.userCode, start.verifyURL));
                self->open(start.verifyURL);
            });
        };
        const WebPlatform::Pause wait = [run, pause](double seconds) {
            if (!pause)
                return run->sleep(seconds);
            if (run->stopped())
                return false;
            pause(seconds);
            return !run->stopped();
        };
        try {
            const WebPlatform::Approval approval = WebPlatform::deviceFlow(base, onCode, wait);
            run->post([generation, approval, target](SignIn* self) { self->finish(generation, approval, target); });
        } catch (const WebPlatform::Cancelled&) {
        } catch (const SignInError& e) {
            run->post([generation, message = e.description()](SignIn* self) { self->fail(generation, message); });
        } catch (const std::exception& e) {
            const auto url = Url::parse(base);
            const QString host = url && url->host() && !url->host()->isEmpty() ? *url->host() : base;
            const auto* error = dynamic_cast<const Error*>(&e);
            const QString description = error ? error->description() : QString::fromLocal8Bit(e.what());
            const QString message = QStringLiteral("Couldn\u2019t reach ") + host + QStringLiteral(": ") + description;
            run->post([generation, message](SignIn* self) { self->fail(generation, message); });
        }
    });
}

void SignIn::finish(quint64 generation, const WebPlatform::Approval& approval, Accounts* accounts)
{
    if (generation != generation_)
        return;
    run_.reset();
    if (!accounts) { // the store went away meanwhile: nothing to sign in to
        setPhase(Phase::idle());
        return;
    }
    setPhase(Phase::finishing());
    if (!accounts->signIn(approval.key, approval.email, approval.name)) {
        slog(QStringLiteral("sign-in: the keyring refused the account key; still signed out"));
        setPhase(Phase::failed(keyringFailed));
        return;
    }
    slog(QStringLiteral("sign-in: signed in as ") + Log::oneLine(approval.email));
    setPhase(Phase::idle());
    if (onSignedIn)
        onSignedIn();
}

void SignIn::fail(quint64 generation, const QString& message)
{
    if (generation != generation_)
        return;
    run_.reset();
    setPhase(Phase::failed(message));
}
