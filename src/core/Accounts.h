#pragma once

#include "core/API.h"
#include "core/AccountInfo.h"
#include "core/Url.h"
#include "core/Workspace.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>
#include <utility>
#include <vector>

class Settings;

// The account and the upload targets: the keys in the desktop keyring (each read
// once), sign-in and sign-out, and which workspaces the user can file to with
// which client. Built on the preferences of one Settings. Main thread only.
class Accounts : public QObject {
    Q_OBJECT

public:
    // The running application's accounts, over Settings::shared().
    static Accounts& shared();

    explicit Accounts(Settings& settings, QObject* parent = nullptr);

    Settings& settings() const { return settings_; }

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

private:
    Settings& settings_;
    QMap<QUuid, QString> keyCache_;
    std::optional<QString> accountKeyCache_;
};
