#pragma once

#include "core/FiledRef.h"
#include "core/Workspace.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QUuid>
#include <array>
#include <memory>
#include <optional>
#include <vector>

// The preferences: one object whose properties write themselves through to a
// defaults store (a QSettings file per suite) on every assignment. The account
// and the upload targets built on them are Accounts. Main thread only.
class Settings : public QObject {
    Q_OBJECT

public:
    // One per property; the stored name, type and start value of each are in one
    // table in Settings.cpp.
    enum class Key {
        platformBase,
        accountEmail,
        accountName,
        projects,
        accountError, // not stored
        workdaySlug,
        personalRoot,
        autoFileTeamCalls,
        lastFiled,
        workspaces,
        active,
        names,
        trackWorkday,
        includeTitles,
        offerCalls,
        autoRecordCalls,
        liveTips,
        autoPin,
        liveHearing,
        breakReminders,
        breakMinutes,
        workoutOn,
        workoutMinute,
        wrapOn,
        wrapMinute,
    };
    Q_ENUM(Key)
    static constexpr int keyCount = int(Key::wrapMinute) + 1;

    // The name a key is stored under.
    static QLatin1String name(Key key);

    // The running application's instance, made on first use over the suite named by
    // ZELVAN_DEFAULTS_SUITE (when set, even empty), else the standard store.
    static Settings& shared();

    // The store of a named suite: "<config>/Zelvan/<name>.conf". Nothing for a name
    // that cannot be a file name (empty, "." or "..", or with "/").
    // A damaged file is kept aside as "<name>.conf.unreadable" and what could
    // be read from it carried over into a new one.
    static std::unique_ptr<QSettings> suite(const QString& name);
    // The words for the user about a damaged store met since the last call, once.
    static std::optional<QString> takeDamage();
    // Empties a named suite and deletes its file.
    static void removeSuite(const QString& name);
    // The standard store (the application id's suite).
    static std::unique_ptr<QSettings> standard();

    // Reads every key with its default and repairs the selection, the legacy
    // servers and the projects (which it writes back).
    explicit Settings(std::unique_ptr<QSettings> defaults, QObject* parent = nullptr);
    ~Settings() override;

    QSettings& d() const { return *d_; }

    // --- Stored properties ---------------------------------------------------
    // Every setter stores the value, writes it in its stored form and emits changed(),
    // also when the value is unchanged.

    // As assigned (cleaned only when read back at the next start); use
    // platformAddress() to build addresses.
    const QString& platformBase() const { return platformBase_; }
    void setPlatformBase(const QString& value);
    // The platform base as every address is built from it: cleaned, and the
    // default base when blank.
    QString platformAddress() const;

    const std::optional<QString>& accountEmail() const { return accountEmail_; }
    void setAccountEmail(const std::optional<QString>& value);
    const std::optional<QString>& accountName() const { return accountName_; }
    void setAccountName(const std::optional<QString>& value);
    const std::vector<Workspace>& projects() const { return projects_; }
    void setProjects(const std::vector<Workspace>& value);
    // Not stored.
    const std::optional<QString>& accountError() const { return accountError_; }
    void setAccountError(const std::optional<QString>& value);
    const std::optional<QString>& workdaySlug() const { return workdaySlug_; }
    void setWorkdaySlug(const std::optional<QString>& value);
    const std::optional<QString>& personalRoot() const { return personalRoot_; }
    void setPersonalRoot(const std::optional<QString>& value);
    bool autoFileTeamCalls() const { return simple(Key::autoFileTeamCalls) != 0; }
    void setAutoFileTeamCalls(bool value);
    // Stored with its date as seconds since 2001-01-01 UTC.
    const std::optional<FiledRef>& lastFiled() const { return lastFiled_; }
    void setLastFiled(const std::optional<FiledRef>& value);
    const std::vector<Workspace>& workspaces() const { return workspaces_; }
    void setWorkspaces(const std::vector<Workspace>& value);
    const std::optional<QUuid>& activeID() const { return activeID_; }
    void setActiveID(const std::optional<QUuid>& value);
    // The user's own name per legacy workspace, keyed by the id's upper-case text.
    const QMap<QString, QString>& names() const { return names_; }
    void setNames(const QMap<QString, QString>& value);

    bool trackWorkday() const { return simple(Key::trackWorkday) != 0; }
    void setTrackWorkday(bool value);
    bool includeTitles() const { return simple(Key::includeTitles) != 0; }
    void setIncludeTitles(bool value);
    bool offerCalls() const { return simple(Key::offerCalls) != 0; }
    void setOfferCalls(bool value);
    bool autoRecordCalls() const { return simple(Key::autoRecordCalls) != 0; }
    void setAutoRecordCalls(bool value);
    bool liveTips() const { return simple(Key::liveTips) != 0; }
    void setLiveTips(bool value);
    bool autoPin() const { return simple(Key::autoPin) != 0; }
    void setAutoPin(bool value);
    bool liveHearing() const { return simple(Key::liveHearing) != 0; }
    void setLiveHearing(bool value);
    bool breakReminders() const { return simple(Key::breakReminders) != 0; }
    void setBreakReminders(bool value);
    int breakMinutes() const { return simple(Key::breakMinutes); }
    void setBreakMinutes(int value);
    bool workoutOn() const { return simple(Key::workoutOn) != 0; }
    void setWorkoutOn(bool value);
    int workoutMinute() const { return simple(Key::workoutMinute); }
    void setWorkoutMinute(int value);
    bool wrapOn() const { return simple(Key::wrapOn) != 0; }
    void setWrapOn(bool value);
    int wrapMinute() const { return simple(Key::wrapMinute); }
    void setWrapMinute(int value);

    // The managed switch "legacyServers" (only read, never written by the app):
    // true unless it is stored as false.
    bool legacyServers() const;

    // Today's local time for a minute of the day (1050 is 17:30). A time in a
    // daylight-saving gap gives the first time after the gap; an impossible
    // minute gives now.
    static QDateTime dateFromMinute(int minute);
    // The same on the local day of `now`; `now` itself for an impossible minute.
    static QDateTime dateFromMinute(int minute, const QDateTime& now);
    static int minuteFrom(const QDateTime& date);

signals:
    // After every assignment of a property, with the property's key.
    void changed(Settings::Key key);

private:
    void written(Key key);
    void writeText(Key key, const std::optional<QString>& value);
    void writeValue(Key key, const QVariant& value);
    void saveList(Key key, const std::vector<Workspace>& list);
    int simple(Key key) const { return simple_[size_t(key)]; }
    void setSimple(Key key, int value);

    std::unique_ptr<QSettings> d_;

    QString platformBase_;
    std::optional<QString> accountEmail_;
    std::optional<QString> accountName_;
    std::vector<Workspace> projects_;
    std::optional<QString> accountError_;
    std::optional<QString> workdaySlug_;
    std::optional<QString> personalRoot_;
    std::optional<FiledRef> lastFiled_;
    std::vector<Workspace> workspaces_;
    std::optional<QUuid> activeID_;
    QMap<QString, QString> names_;
    // The flags (0 or 1) and numbers, by key.
    std::array<int, keyCount> simple_{};
};
