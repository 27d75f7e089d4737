#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class Settings;

// The desktop notifications of the app (a session saved, filed to Personal, a
// review ready) on org.freedesktop.Notifications; a click ("default" action)
// opens the notification's page on the board. Main thread only.
class Notify : public QObject {
    Q_OBJECT

public:
    struct Payload {
        QString id; // "session.<key>" or "review.<id>"; a later one with the same id replaces it
        QString title;
        QString body;
        std::optional<QUrl> url;
        friend bool operator==(const Payload&, const Payload&) = default;
    };

    // Over Settings::shared(); clicks open the board.
    static Notify& shared();
    explicit Notify(Settings& settings, QObject* parent = nullptr);

    // Off for the diagnostic runs and tests: "--dump-menu" or "--ui-check" among
    // the arguments, a non-empty ZELVAN_DEFAULTS_SUITE, or ZELVAN_NOTIFY=0.
    static bool switchedOff(const QStringList& arguments);
    void setup(const QStringList& arguments);
    bool enabled() const { return enabled_; }
    // The notification service has an owner on the session bus.
    bool allowed() const { return allowed_; }

    void reviewReady(const QString& id, const QString& title, int suggestions, const std::optional<QUrl>& url);
    void saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
               const std::optional<QString>& key);
    void filedPersonal(const QString& title, const QString& key);

    static Payload reviewReadyPayload(const QString& id, const QString& title, int suggestions,
                                      const std::optional<QUrl>& url, const QString& base);
    static Payload savedPayload(const QString& id, const QString& title, const QString& where,
                                const std::optional<QUrl>& url, const std::optional<QString>& key);
    static Payload filedPersonalPayload(const QString& title, const QString& key, const QString& base);

    // The page a click opens: the notification's board page, else the board home.
    static QUrl target(const std::optional<QString>& url, const QString& base);

    // Where a click goes; the board by default.
    std::function<void(const QUrl&)> onOpen;

signals:
    // The service took the notification under its own number.
    void posted(const QString& id, uint serviceID);

private slots:
    void actionInvoked(uint serviceID, const QString& action);

private:
    void post(const Payload& payload);
    bool serviceOwned() const;
    bool bodyMarkup() const;

    Settings& settings_;
    bool enabled_ = false;
    bool allowed_ = false;
    QHash<QString, uint> serviceIDs_;          // our id -> the service's number, for replacing
    QHash<uint, std::optional<QString>> urls_; // the service's number -> page
};
