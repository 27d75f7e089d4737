#pragma once

#include "core/API.h"
#include "core/AccountInfo.h"
#include "core/FiledRef.h"
#include "core/Url.h"
#include "core/Workspace.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The preferences and the account: one object whose properties write themselves
// through to a defaults store (a QSettings file per suite) on every assignment,
// and the account and upload-target rules built on them. Main thread only.
class Settings : public QObject {
    Q_OBJECT

public:
    // The running application's instance, made on first use over the suite named by
    // ZELVAN_DEFAULTS_SUITE (when set, even empty), else the standard store.
    static Settings& shared();

    // The store of a named suite: "<config>/Zelvan/<name>.conf". Nothing for a name
    // that cannot be a file name (empty, "." or "..", or with "/").
    static std::unique_ptr<QSettings> suite(const QString& name);
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
    bool autoFileTeamCalls() const { return autoFileTeamCalls_; }
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

    bool trackWorkday() const { return trackWorkday_; }
    void setTrackWorkday(bool value);
    bool includeTitles() const { return includeTitles_; }
    void setIncludeTitles(bool value);
    bool offerCalls() const { return offerCalls_; }
    void setOfferCalls(bool value);
    bool autoRecordCalls() const { return autoRecordCalls_; }
    void setAutoRecordCalls(bool value);
    bool liveTips() const { return liveTips_; }
    void setLiveTips(bool value);
    bool autoPin() const { return autoPin_; }
    void setAutoPin(bool value);
    bool liveHearing() const { return liveHearing_; }
    void setLiveHearing(bool value);
    bool breakReminders() const { return breakReminders_; }
    void setBreakReminders(bool value);
    int breakMinutes() const { return breakMinutes_; }
    void setBreakMinutes(int value);
    bool workoutOn() const { return workoutOn_; }
    void setWorkoutOn(bool value);
    int workoutMinute() const { return workoutMinute_; }
    void setWorkoutMinute(int value);
    bool wrapOn() const { return wrapOn_; }
    void setWrapOn(bool value);
    int wrapMinute() const { return wrapMinute_; }
    void setWrapMinute(int value);

    // --- Account and upload targets -----------------------------------------

    // The account key from the keyring, read once; empty when none.
    QString accountKey();
    bool signedIn();
    // Stores the key in the keyring, then the account. When the keyring refuses
    // the key nothing changes and the result is false: an account whose key
    // would be gone at the next start is not signed in.
    bool signIn(const QString& key, const QString& email, const std::optional<QString>& name);
    // Forgets the account; legacy workspaces, their keys and names stay.
    void signOut();
    // Stores the platform's account answer, writing only what changed.
    void apply(const AccountInfo& account, const std::vector<Workspace>& projects);

    bool projectMode();
    bool showLegacy();
    // What the user can file to, in display order.
    std::vector<Workspace> targets();
    std::optional<Workspace> workspace(const std::optional<QUuid>& id);
    // The default target.
    std::optional<Workspace> home();
    // Targets that yield an API client, each with its client.
    std::vector<std::pair<Workspace, API>> connected();
    std::optional<API> homeAPI();
    std::optional<API> apiFor(const std::optional<Workspace>& workspace);
    // The personal library's client.
    std::optional<API> personalAPI();
    std::optional<API> apiForDest(const QString& dest);
    QString destName(const QString& dest) const;
    // The web page of a filed call.
    std::optional<Url> link(const QString& dest, const QString& call) const;
    std::optional<Url> boardURL();

    // Projects use the account key; a legacy workspace its own, read once.
    QString keyFor(const Workspace& workspace);
    // Stores a legacy workspace's key, trimmed (empty deletes it).
    void setKey(const QString& key, const Workspace& workspace);
    // Deletes a legacy workspace and its key; the selection moves to the first left.
    void remove(const Workspace& workspace);
    std::optional<QString> myName(const std::optional<Workspace>& workspace) const;

    // Today's local time for a minute of the day (1050 is 17:30). A time in a
    // daylight-saving gap gives the first time after the gap; an impossible
    // minute gives now.
    static QDateTime dateFromMinute(int minute);
    // The same on the local day of `now`; `now` itself for an impossible minute.
    static QDateTime dateFromMinute(int minute, const QDateTime& now);
    static int minuteFrom(const QDateTime& date);

signals:
    // After every assignment of a property.
    void changed();

private:
    void written();
    void writeText(const char* key, const std::optional<QString>& value);
    void writeValue(const char* key, const QVariant& value);
    void saveList(const std::vector<Workspace>& list, const char* key);
    void setFlag(bool& field, const char* key, bool value);
    void setNumber(int& field, const char* key, int value);

    std::unique_ptr<QSettings> d_;
    QMap<QUuid, QString> keyCache_;
    std::optional<QString> accountKeyCache_;

    QString platformBase_;
    std::optional<QString> accountEmail_;
    std::optional<QString> accountName_;
    std::vector<Workspace> projects_;
    std::optional<QString> accountError_;
    std::optional<QString> workdaySlug_;
    std::optional<QString> personalRoot_;
    bool autoFileTeamCalls_ = false;
    std::optional<FiledRef> lastFiled_;
    std::vector<Workspace> workspaces_;
    std::optional<QUuid> activeID_;
    QMap<QString, QString> names_;
    bool trackWorkday_ = false;
    bool includeTitles_ = true;
    bool offerCalls_ = true;
    bool autoRecordCalls_ = false;
    bool liveTips_ = true;
    bool autoPin_ = true;
    bool liveHearing_ = true;
    bool breakReminders_ = true;
    int breakMinutes_ = 50;
    bool workoutOn_ = true;
    int workoutMinute_ = 1050;
    bool wrapOn_ = true;
    int wrapMinute_ = 1080;
};
