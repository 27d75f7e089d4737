#pragma once

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// The real zelvan on the private desktop, driven as a person would drive it: keys
// and clicks through XTest, what it says read from its log, where its cards sit
// read off the screen. The journey tests and `make run` without a display share it.
class JourneyDriver {
public:
    struct Launch {
        QString suite;          // the defaults suite (ZELVAN_DEFAULTS_SUITE)
        QString keyringService; // ZELVAN_KEYCHAIN_SERVICE
        QStringList args;
        std::map<QString, QString> env; // more variables: ZELVAN_ASK_SECONDS, PULSE_SERVER …
        QStringList unset;              // variables of the test's environment it starts without
    };

    explicit JourneyDriver(QString executable);
    ~JourneyDriver();
    JourneyDriver(const JourneyDriver&) = delete;
    JourneyDriver& operator=(const JourneyDriver&) = delete;

    // Starts zelvan and waits for its "launched" line; false when it never came.
    bool launch(const Launch& launch);
    // Asks it to quit (SIGTERM) and waits for it.
    void stop();
    // Asks it to quit (SIGTERM) and returns at once.
    void terminate();
    // Kills it (SIGKILL: no handler, no clean-up) and waits for it to be gone.
    void crash();
    bool running() const;
    // Its process id while it runs.
    qint64 pid() const { return app_.processId(); }
    // Waits up to `seconds` for it to end; whether it has.
    bool ended(double seconds);
    // Its exit code once it has exited; nothing while it runs or when it crashed.
    std::optional<int> exitCode() const;

    // Waits until a whole line of the log holds `text` and gives that line, without
    // its end; nothing when none came in `seconds` or the application ended.
    std::optional<QString> waitLine(const QByteArray& text, double seconds = 120);
    bool logged(const QByteArray& text, double seconds = 120) { return waitLine(text, seconds).has_value(); }
    // Everything the application wrote to standard error so far.
    QByteArray log();

    // Ctrl+Alt+R and the folder of the session it started; empty when no
    // recording started within two minutes.
    QString kickIn();
    // Ctrl+Alt+R again.
    bool wrapUp();

    // The centre of button `index` of the "Where does this go?" card: the card is
    // laid out here with the same texts and placed by the application's rule; its
    // height is read off the screen, where the lime primary button shows, since the
    // message may wrap differently in the application's fonts.
    std::optional<QPoint> routeButton(const QString& message, const QStringList& labels, int index);
    static bool click(const QPoint& at);
    // Closes the window titled `title` as a person would (Alt+F4 on it, which the
    // window manager turns into a close request); false when none showed within
    // `seconds`.
    static bool closeWindow(const QString& title, double seconds = 30);

    // The session folders in the support folder's recordings.
    static QStringList sessionFolders();
    // Lets the event loop run for a while.
    static void spend(double seconds);

private:
    QString executable_;
    QProcess app_;
    QByteArray err_;
};
