#include "core/Accounts.h"

#include "core/Address.h"
#include "core/Keychain.h"
#include "core/Settings.h"
#include "core/Strings.h"

#include <algorithm>
#include <iterator>

namespace {

const QString accountKeyLabel = QStringLiteral("Zelvan account key");

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

bool sameSlug(const Workspace& ws, const std::optional<QString>& slug)
{
    return ws.slug == slug;
}

} // namespace

Accounts& Accounts::shared()
{
    static Accounts* const instance = new Accounts(Settings::shared()); // lives for the whole process
    return *instance;
}

Accounts::Accounts(Settings& settings, QObject* parent)
    : QObject(parent)
    , settings_(settings)
{
}

QString Accounts::accountKey()
{
    if (accountKeyCache_)
        return *accountKeyCache_;
    // A keyring that could not be asked (not unlocked yet at login, say) is
    // asked again next time instead of leaving the user signed out until restart.
    const auto read = Keychain::read(QLatin1String(Keychain::accountItem));
    if (!read.answered)
        return QString();
    accountKeyCache_ = read.value.value_or(QString());
    return *accountKeyCache_;
}

bool Accounts::signedIn()
{
    return !accountKey().isEmpty() && settings_.accountEmail().has_value();
}

bool Accounts::signIn(const QString& key, const QString& email, const std::optional<QString>& name)
{
    if (!Keychain::set(QLatin1String(Keychain::accountItem), key, accountKeyLabel))
        return false;
    accountKeyCache_ = key;
    settings_.setAccountEmail(email);
    settings_.setAccountName(name);
    settings_.setAccountError(std::nullopt);
    return true;
}

void Accounts::signOut()
{
    Keychain::remove(QLatin1String(Keychain::accountItem));
    accountKeyCache_ = QString();
    settings_.setAccountEmail(std::nullopt);
    settings_.setAccountName(std::nullopt);
    settings_.setProjects({});
    settings_.setWorkdaySlug(std::nullopt);
    settings_.setPersonalRoot(std::nullopt);
    settings_.setLastFiled(std::nullopt);
    settings_.setAccountError(std::nullopt);
}

void Accounts::apply(const AccountInfo& account, const std::vector<Workspace>& projects)
{
    if (settings_.accountEmail() != account.email)
        settings_.setAccountEmail(account.email);
    if (account.name && settings_.accountName() != account.name)
        settings_.setAccountName(account.name);
    if (settings_.projects() != projects)
        settings_.setProjects(projects);
    if (account.personalRoot && settings_.personalRoot() != account.personalRoot)
        settings_.setPersonalRoot(account.personalRoot);
    settings_.setAccountError(std::nullopt);
}

bool Accounts::projectMode()
{
    return signedIn() && !settings_.projects().empty();
}

bool Accounts::showLegacy()
{
    // A switch for managed installations.
    if (!settings_.legacyServers())
        return false;
    if (!signedIn())
        return true;
    return settings_.projects().empty();
}

std::vector<Workspace> Accounts::targets()
{
    if (signedIn() && !settings_.projects().empty())
        return settings_.projects();
    if (showLegacy())
        return settings_.workspaces();
    return {};
}

std::optional<Workspace> Accounts::workspace(const std::optional<QUuid>& id)
{
    if (!id)
        return std::nullopt;
    for (const Workspace& ws : targets())
        if (ws.id == *id)
            return ws;
    return std::nullopt;
}

std::optional<Workspace> Accounts::home()
{
    if (signedIn() && !settings_.projects().empty()) {
        for (const Workspace& ws : settings_.projects())
            if (sameSlug(ws, settings_.workdaySlug()))
                return ws;
        return settings_.projects().front();
    }
    const auto reachable = connected();
    for (const auto& [ws, api] : reachable)
        if (settings_.activeID() && ws.id == *settings_.activeID())
            return ws;
    if (!reachable.empty())
        return reachable.front().first;
    if (!showLegacy())
        return std::nullopt;
    for (const Workspace& ws : settings_.workspaces())
        if (settings_.activeID() && ws.id == *settings_.activeID())
            return ws;
    if (!settings_.workspaces().empty())
        return settings_.workspaces().front();
    return std::nullopt;
}

std::vector<std::pair<Workspace, API>> Accounts::connected()
{
    std::vector<std::pair<Workspace, API>> out;
    for (const Workspace& ws : targets())
        if (auto api = apiFor(ws))
            out.emplace_back(ws, std::move(*api));
    return out;
}

std::optional<API> Accounts::homeAPI()
{
    return apiFor(home());
}

std::optional<API> Accounts::apiFor(const std::optional<Workspace>& workspace)
{
    if (!workspace)
        return std::nullopt;
    const auto url = Url::parse(workspace->base());
    if (!url || !url->host() || url->host()->isEmpty())
        return std::nullopt;
    const QString key = keyFor(*workspace);
    // A server on this machine may run without a key; a project never does.
    if (key.isEmpty() && (workspace->isProject() || !workspace->isLocal()))
        return std::nullopt;
    return API(workspace->base(), key, workspace->apiRoot);
}

std::optional<API> Accounts::personalAPI()
{
    if (!signedIn())
        return std::nullopt;
    const QString base = settings_.platformAddress();
    QString root = base + QStringLiteral("/api/v1/personal");
    // The root receives the account key: only the platform's own origin will do.
    if (settings_.personalRoot()) {
        const auto url = Url::parse(*settings_.personalRoot());
        if (url && Address::sameOrigin(*url, base))
            root = *settings_.personalRoot();
    }
    return API(base + QStringLiteral("/app"), accountKey(), root);
}

std::optional<API> Accounts::apiForDest(const QString& dest)
{
    if (dest == FiledRef::personal)
        return personalAPI();
    for (const Workspace& ws : settings_.projects())
        if (ws.slug == dest)
            return apiFor(ws);
    return std::nullopt;
}

QString Accounts::destName(const QString& dest) const
{
    if (dest == FiledRef::personal)
        return QStringLiteral("Personal");
    for (const Workspace& ws : settings_.projects())
        if (ws.slug == dest)
            return ws.name;
    return dest;
}

std::optional<Url> Accounts::link(const QString& dest, const QString& call) const
{
    if (dest == FiledRef::personal)
        return Url::parse(settings_.platformAddress() + QStringLiteral("/app/r/") + urlComponent(call));
    for (const Workspace& ws : settings_.projects())
        if (ws.slug == dest)
            return ws.link(QStringLiteral("library/call/") + urlComponent(call));
    return std::nullopt;
}

std::optional<Url> Accounts::boardURL()
{
    if (signedIn())
        return Url::parse(settings_.platformAddress() + QStringLiteral("/app"));
    if (const auto ws = home())
        return ws->link(QStringLiteral("board"));
    return std::nullopt;
}

QString Accounts::keyFor(const Workspace& workspace)
{
    if (workspace.isProject())
        return accountKey();
    const auto cached = keyCache_.constFind(workspace.id);
    if (cached != keyCache_.constEnd())
        return *cached;
    const auto read = Keychain::read(idText(workspace.id));
    const QString key = read.value.value_or(QString());
    if (read.answered)
        keyCache_.insert(workspace.id, key);
    return key;
}

void Accounts::setKey(const QString& key, const Workspace& workspace)
{
    if (workspace.isProject())
        return;
    const QString trimmed = key.trimmed();
    const auto cached = keyCache_.constFind(workspace.id);
    if (cached != keyCache_.constEnd() && *cached == trimmed)
        return;
    keyCache_.insert(workspace.id, trimmed);
    Keychain::set(idText(workspace.id), trimmed);
}

void Accounts::remove(const Workspace& workspace)
{
    Keychain::remove(idText(workspace.id));
    keyCache_.remove(workspace.id);
    std::vector<Workspace> left;
    std::copy_if(settings_.workspaces().begin(), settings_.workspaces().end(), std::back_inserter(left),
                 [&](const Workspace& ws) { return ws.id != workspace.id; });
    settings_.setWorkspaces(left);
    if (settings_.activeID() == workspace.id)
        settings_.setActiveID(left.empty() ? std::nullopt : std::optional(left.front().id));
}

std::optional<QString> Accounts::myName(const std::optional<Workspace>& workspace) const
{
    if (!workspace)
        return std::nullopt;
    const auto it = settings_.names().constFind(idText(workspace->id));
    if (it != settings_.names().constEnd())
        return *it;
    if (workspace->isProject())
        return settings_.accountName();
    return std::nullopt;
}
