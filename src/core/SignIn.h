#pragma once

#include "core/Url.h"
#include "core/WebPlatform.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Accounts;

// The device-code sign-in as the settings window and the status menu show it:
// ask for codes, show the short one and open the approval page, wait for the
// approval, store the account. Lives on the main thread; the protocol runs on
// Net::pool(). Cancelling drops whatever the running attempt would still deliver.
class SignIn : public QObject {
    Q_OBJECT

public:
    struct Phase {
        enum class Kind { waiting, failed, idle, starting, finishing };
        Kind kind = Kind::idle;
        QString code;           // waiting: the user code
        std::optional<Url> url; // waiting: the approval page
        QString message;        // failed: shown to the user

        static Phase waiting(const QString& code, const Url& url) { return {Kind::waiting, code, url, {}}; }
        static Phase failed(const QString& message) { return {Kind::failed, {}, {}, message}; }
        static Phase idle() { return {}; }
        static Phase starting() { return {Kind::starting, {}, {}, {}}; }
        static Phase finishing() { return {Kind::finishing, {}, {}, {}}; }

        friend bool operator==(const Phase&, const Phase&) = default;
    };

    // Shown when the keyring refuses the account key.
    static inline const QString keyringFailed = QStringLiteral(
        "Couldn\u2019t save the account key in the desktop keyring, so you are still signed out. "
        "Make sure a keyring is running and unlocked, then sign in again.");

    explicit SignIn(QObject* parent = nullptr);
    ~SignIn() override;

    const Phase& phase() const { return phase_; }
    // Waiting, starting or finishing.
    bool busy() const;
    // The user code while waiting.
    std::optional<QString> code() const;

    // Called once after a successful sign-in.
    std::function<void()> onSignedIn;
    // Opens the approval page; by default the desktop's browser, or only a log
    // line when ZELVAN_NO_BROWSER is "1". Only http and https pages reach it.
    std::function<void(const Url&)> openBrowser;

    // Starts a sign-in against the settings' platform unless one is under way.
    void begin(Accounts& accounts);
    // Opens the approval page again while waiting.
    void reopen();
    // Stops the running attempt; nothing it still brings is stored.
    void cancel();
    // Sets the phase directly, for previews.
    void preview(const Phase& phase);

    // How the flow waits between polls, for tests that move a clock instead of
    // sleeping. It runs on a pool thread; cancel() does not cut it short.
    void setPause(std::function<void(double seconds)> pause) { pause_ = std::move(pause); }

    static void openInBrowser(const Url& url);

signals:
    void phaseChanged();

private:
    struct Run;
    void setPhase(const Phase& phase);
    void open(const Url& url);
    void finish(quint64 generation, const WebPlatform::Approval& approval, Accounts* accounts);
    void fail(quint64 generation, const QString& message);

    Phase phase_;
    quint64 generation_ = 0;
    std::shared_ptr<Run> run_;
    std::function<void(double)> pause_;
};
