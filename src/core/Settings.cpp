#include "core/Settings.h"

#include "platform/AppId.h"
#include "core/Clock.h"
#include "core/Json.h"
#include "core/Keychain.h"
#include "core/Paths.h"
#include "core/Platform.h"
#include "core/Strings.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString accountKeyLabel = QStringLiteral("Zelvan account key");

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<QString> textOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(v.toByteArray());
    if (isNumber(v))
        return v.toString();
    return std::nullopt;
}

// Past leading blanks and one sign: where the digits of a numeric text begin.
qsizetype digitsStart(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    return i;
}

// A stored value as a boolean the way a defaults store converts it: numbers are
// true when not 0; a text is true when it begins with "Y", "T" (either case) or
// a number that is not 0 ("true", "YES", "1", "007"), trailing characters ignored.
bool boolOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isNumber(v))
        return v.toDouble() != 0;
    const auto text = textOf(v);
    if (!text)
        return false;
    qsizetype i = digitsStart(*text);
    const qsizetype afterSign = i;
    while (i < text->size() && text->at(i) == u'0')
        ++i;
    if (i >= text->size())
        return false;
    const QChar c = text->at(i);
    if (i == afterSign && (c == u'Y' || c == u'y' || c == u'T' || c == u't'))
        return true;
    return c >= u'1' && c <= u'9';
}

int clampInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}

// A stored value as an integer the way a defaults store converts it: numbers cut
// toward zero, booleans 0 or 1, a text by its leading decimal digits ("42 min" is
// 42), anything else 0.
int intOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    if (isNumber(v))
        return clampInt(v.toDouble());
    const auto text = textOf(v);
    if (!text)
        return 0;
    qsizetype i = digitsStart(*text);
    const bool negative = i > 0 && text->at(i - 1) == u'-';
    double value = 0;
    for (; i < text->size() && text->at(i) >= u'0' && text->at(i) <= u'9'; ++i)
        value = std::min(value * 10 + (text->at(i).unicode() - u'0'), 1e12);
    return clampInt(negative ? -value : value);
}

std::optional<std::vector<Workspace>> readList(const QVariant& v)
{
    const auto text = textOf(v);
    if (!text)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8());
    if (!doc.isArray())
        return std::nullopt;
    std::vector<Workspace> list;
    try {
        for (const QJsonValue& item : doc.array()) {
            if (!item.isObject())
                return std::nullopt;
            list.push_back(Workspace::fromJson(item.toObject()));
        }
    } catch (const Json::DecodeError&) {
        return std::nullopt;
    }
    return list;
}

std::optional<FiledRef> readFiled(const QVariant& v)
{
    const auto text = textOf(v);
    if (!text)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8());
    if (!doc.isObject())
        return std::nullopt;
    try {
        return FiledRef::fromJson(doc.object(), FiledRef::Dates::sinceReference);
    } catch (const Json::DecodeError&) {
        return std::nullopt;
    }
}

std::vector<Workspace> legacyServers()
{
    return {Workspace(QStringLiteral("Bramel"), QStringLiteral("https://bramel.zelvan.app")),
            Workspace(QStringLiteral("Tovarind"), QStringLiteral("https://tovarind.zelvan.app"))};
}

bool sameSlug(const Workspace& ws, const std::optional<QString>& slug)
{
    return ws.slug == slug;
}

} // namespace

// --- Store ---------------------------------------------------------------

std::unique_ptr<QSettings> Settings::suite(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return nullptr;
    const QString dir = Paths::ensure(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                      + QStringLiteral("/Zelvan"));
    const QString file = dir + u'/' + name + QStringLiteral(".conf");
    // The store holds the account's e-mail: make it owner-only before the first
    // write, since every later atomic rewrite keeps the file's permissions.
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

std::unique_ptr<QSettings> Settings::standard()
{
    return suite(QString::fromLatin1(appId));
}

Settings& Settings::shared()
{
    static Settings* const instance = [] {
        std::unique_ptr<QSettings> store;
        if (qEnvironmentVariableIsSet("ZELVAN_DEFAULTS_SUITE"))
            store = suite(qEnvironmentVariable("ZELVAN_DEFAULTS_SUITE"));
        if (!store)
            store = standard();
        return new Settings(std::move(store)); // lives for the whole process
    }();
    return *instance;
}

Settings::Settings(std::unique_ptr<QSettings> defaults, QObject* parent) : QObject(parent), d_(std::move(defaults))
{
    const auto has = [this](const char* key) { return d_->contains(QLatin1String(key)); };
    const auto value = [this](const char* key) { return d_->value(QLatin1String(key)); };
    const auto text = [&](const char* key) { return has(key) ? textOf(value(key)) : std::nullopt; };
    const auto flag = [&](const char* key, bool start) { return has(key) ? boolOf(value(key)) : start; };
    const auto number = [&](const char* key, int start) { return has(key) ? intOf(value(key)) : start; };

    const auto base = text("platformBase");
    platformBase_ = Platform::clean(base && !base->trimmed().isEmpty() ? *base : Platform::defaultBase);
    accountEmail_ = text("accountEmail");
    accountName_ = text("accountName");
    projects_ = readList(value("projects")).value_or(std::vector<Workspace>());
    workdaySlug_ = text("workdaySlug");
    personalRoot_ = text("personalRoot");
    autoFileTeamCalls_ = boolOf(value("autoFileTeamCalls"));
    lastFiled_ = readFiled(value("lastFiled"));

    auto stored = readList(value("workspaces"));
    workspaces_ = stored ? std::move(*stored) : legacyServers();
    if (const auto active = text("active")) {
        const QUuid id = QUuid::fromString(*active);
        if (!id.isNull())
            activeID_ = id;
    }
    const QVariant names = value("names");
    if (names.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = names.toMap();
        const bool allText = std::all_of(map.begin(), map.end(),
                                         [](const QVariant& v) { return v.typeId() == QMetaType::QString; });
        if (allText)
            for (auto it = map.begin(); it != map.end(); ++it)
                names_.insert(it.key(), it.value().toString());
    }
    trackWorkday_ = flag("trackWorkday", false);
    includeTitles_ = flag("includeTitles", true);
    offerCalls_ = flag("offerCalls", true);
    autoRecordCalls_ = flag("autoRecordCalls", false);
    liveTips_ = flag("liveTips", true);
    autoPin_ = flag("autoPin", true);
    liveHearing_ = flag("liveHearing", true);
    breakReminders_ = flag("breakReminders", true);
    breakMinutes_ = number("breakMinutes", 50);
    workoutOn_ = flag("workoutOn", true);
    workoutMinute_ = number("workoutMinute", 1050);
    wrapOn_ = flag("wrapOn", true);
    wrapMinute_ = number("wrapMinute", 1080);

    const bool selectionValid = activeID_ && std::any_of(workspaces_.begin(), workspaces_.end(),
                                                        [this](const Workspace& ws) { return ws.id == *activeID_; });
    if (!selectionValid)
        setActiveID(workspaces_.empty() ? std::nullopt : std::optional(workspaces_.front().id));
    saveList(workspaces_, "workspaces");

    // Projects of another platform base are stale; older records lack an API root.
    const QString projectPrefix = platformBase_ + QStringLiteral("/app/p/");
    std::vector<Workspace> kept;
    for (Workspace ws : projects_) {
        if (!ws.base().startsWith(projectPrefix))
            continue;
        if (ws.slug && !ws.apiRoot)
            ws.apiRoot = platformBase_ + QStringLiteral("/api/v1/p/") + urlComponent(*ws.slug);
        kept.push_back(std::move(ws));
    }
    projects_ = std::move(kept);
    saveList(projects_, "projects");
    d_->sync();
}

Settings::~Settings()
{
    d_->sync();
}

void Settings::written()
{
    // Each change goes to disk at once, so a crash loses none.
    d_->sync();
    emit changed();
}

void Settings::writeText(const char* key, const std::optional<QString>& value)
{
    if (value)
        d_->setValue(QLatin1String(key), *value);
    else
        d_->remove(QLatin1String(key));
}

void Settings::writeValue(const char* key, const QVariant& value)
{
    d_->setValue(QLatin1String(key), value);
}

void Settings::saveList(const std::vector<Workspace>& list, const char* key)
{
    QJsonArray array;
    for (const Workspace& ws : list)
        array.append(ws.toJson());
    writeValue(key, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
}

void Settings::setFlag(bool& field, const char* key, bool value)
{
    field = value;
    writeValue(key, value);
    written();
}

void Settings::setNumber(int& field, const char* key, int value)
{
    field = value;
    writeValue(key, value);
    written();
}

// --- Properties ----------------------------------------------------------

void Settings::setPlatformBase(const QString& value)
{
    platformBase_ = value;
    writeValue("platformBase", value);
    written();
}

QString Settings::platformAddress() const
{
    const QString cleaned = Platform::clean(platformBase_);
    return cleaned.isEmpty() ? Platform::clean(Platform::defaultBase) : cleaned;
}

void Settings::setAccountEmail(const std::optional<QString>& value)
{
    accountEmail_ = value;
    writeText("accountEmail", value);
    written();
}

void Settings::setAccountName(const std::optional<QString>& value)
{
    accountName_ = value;
    writeText("accountName", value);
    written();
}

void Settings::setProjects(const std::vector<Workspace>& value)
{
    projects_ = value;
    saveList(projects_, "projects");
    written();
}

void Settings::setAccountError(const std::optional<QString>& value)
{
    accountError_ = value;
    emit changed();
}

void Settings::setWorkdaySlug(const std::optional<QString>& value)
{
    workdaySlug_ = value;
    writeText("workdaySlug", value);
    written();
}

void Settings::setPersonalRoot(const std::optional<QString>& value)
{
    personalRoot_ = value;
    writeText("personalRoot", value);
    written();
}

void Settings::setAutoFileTeamCalls(bool value)
{
    setFlag(autoFileTeamCalls_, "autoFileTeamCalls", value);
}

void Settings::setLastFiled(const std::optional<FiledRef>& value)
{
    lastFiled_ = value;
    writeText("lastFiled", value ? std::optional(QString::fromUtf8(QJsonDocument(value->toJson(FiledRef::Dates::sinceReference))
                                                                        .toJson(QJsonDocument::Compact)))
                                 : std::nullopt);
    written();
}

void Settings::setWorkspaces(const std::vector<Workspace>& value)
{
    workspaces_ = value;
    saveList(workspaces_, "workspaces");
    written();
}

void Settings::setActiveID(const std::optional<QUuid>& value)
{
    activeID_ = value;
    writeText("active", value ? std::optional(idText(*value)) : std::nullopt);
    written();
}

void Settings::setNames(const QMap<QString, QString>& value)
{
    names_ = value;
    QVariantMap map;
    for (auto it = value.begin(); it != value.end(); ++it)
        map.insert(it.key(), it.value());
    writeValue("names", map);
    written();
}

void Settings::setTrackWorkday(bool value) { setFlag(trackWorkday_, "trackWorkday", value); }
void Settings::setIncludeTitles(bool value) { setFlag(includeTitles_, "includeTitles", value); }
void Settings::setOfferCalls(bool value) { setFlag(offerCalls_, "offerCalls", value); }
void Settings::setAutoRecordCalls(bool value) { setFlag(autoRecordCalls_, "autoRecordCalls", value); }
void Settings::setLiveTips(bool value) { setFlag(liveTips_, "liveTips", value); }
void Settings::setAutoPin(bool value) { setFlag(autoPin_, "autoPin", value); }
void Settings::setLiveHearing(bool value) { setFlag(liveHearing_, "liveHearing", value); }
void Settings::setBreakReminders(bool value) { setFlag(breakReminders_, "breakReminders", value); }
void Settings::setBreakMinutes(int value) { setNumber(breakMinutes_, "breakMinutes", value); }
void Settings::setWorkoutOn(bool value) { setFlag(workoutOn_, "workoutOn", value); }
void Settings::setWorkoutMinute(int value) { setNumber(workoutMinute_, "workoutMinute", value); }
void Settings::setWrapOn(bool value) { setFlag(wrapOn_, "wrapOn", value); }
void Settings::setWrapMinute(int value) { setNumber(wrapMinute_, "wrapMinute", value); }

// --- Account and upload targets ------------------------------------------

QString Settings::accountKey()
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

bool Settings::signedIn()
{
    return !accountKey().isEmpty() && accountEmail_.has_value();
}

bool Settings::signIn(const QString& key, const QString& email, const std::optional<QString>& name)
{
    if (!Keychain::set(QLatin1String(Keychain::accountItem), key, accountKeyLabel))
        return false;
    accountKeyCache_ = key;
    setAccountEmail(email);
    setAccountName(name);
    setAccountError(std::nullopt);
    return true;
}

void Settings::signOut()
{
    Keychain::remove(QLatin1String(Keychain::accountItem));
    accountKeyCache_ = QString();
    setAccountEmail(std::nullopt);
    setAccountName(std::nullopt);
    setProjects({});
    setWorkdaySlug(std::nullopt);
    setPersonalRoot(std::nullopt);
    setLastFiled(std::nullopt);
    setAccountError(std::nullopt);
}

void Settings::apply(const AccountInfo& account, const std::vector<Workspace>& projects)
{
    if (accountEmail_ != account.email)
        setAccountEmail(account.email);
    if (account.name && accountName_ != account.name)
        setAccountName(account.name);
    if (projects_ != projects)
        setProjects(projects);
    if (account.personalRoot && personalRoot_ != account.personalRoot)
        setPersonalRoot(account.personalRoot);
    setAccountError(std::nullopt);
}

bool Settings::projectMode()
{
    return signedIn() && !projects_.empty();
}

bool Settings::showLegacy()
{
    // Only read: a switch for managed installations, never written by the app.
    const QLatin1String legacy("legacyServers");
    if (d_->contains(legacy) && !boolOf(d_->value(legacy)))
        return false;
    if (!signedIn())
        return true;
    return projects_.empty();
}

std::vector<Workspace> Settings::targets()
{
    if (signedIn() && !projects_.empty())
        return projects_;
    if (showLegacy())
        return workspaces_;
    return {};
}

std::optional<Workspace> Settings::workspace(const std::optional<QUuid>& id)
{
    if (!id)
        return std::nullopt;
    for (const Workspace& ws : targets())
        if (ws.id == *id)
            return ws;
    return std::nullopt;
}

std::optional<Workspace> Settings::home()
{
    if (signedIn() && !projects_.empty()) {
        for (const Workspace& ws : projects_)
            if (sameSlug(ws, workdaySlug_))
                return ws;
        return projects_.front();
    }
    const auto reachable = connected();
    for (const auto& [ws, api] : reachable)
        if (activeID_ && ws.id == *activeID_)
            return ws;
    if (!reachable.empty())
        return reachable.front().first;
    if (!showLegacy())
        return std::nullopt;
    for (const Workspace& ws : workspaces_)
        if (activeID_ && ws.id == *activeID_)
            return ws;
    if (!workspaces_.empty())
        return workspaces_.front();
    return std::nullopt;
}

std::vector<std::pair<Workspace, API>> Settings::connected()
{
    std::vector<std::pair<Workspace, API>> out;
    for (const Workspace& ws : targets())
        if (auto api = apiFor(ws))
            out.emplace_back(ws, std::move(*api));
    return out;
}

std::optional<API> Settings::homeAPI()
{
    return apiFor(home());
}

std::optional<API> Settings::apiFor(const std::optional<Workspace>& workspace)
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

std::optional<API> Settings::personalAPI()
{
    if (!signedIn())
        return std::nullopt;
    const QString base = platformAddress();
    QString root = base + QStringLiteral("/api/v1/personal");
    // The root receives the account key: only the platform's own origin will do.
    if (personalRoot_) {
        const auto url = Url::parse(*personalRoot_);
        if (url && Platform::sameOrigin(*url, base))
            root = *personalRoot_;
    }
    return API(base + QStringLiteral("/app"), accountKey(), root);
}

std::optional<API> Settings::apiForDest(const QString& dest)
{
    if (dest == FiledRef::personal)
        return personalAPI();
    for (const Workspace& ws : projects_)
        if (ws.slug == dest)
            return apiFor(ws);
    return std::nullopt;
}

QString Settings::destName(const QString& dest) const
{
    if (dest == FiledRef::personal)
        return QStringLiteral("Personal");
    for (const Workspace& ws : projects_)
        if (ws.slug == dest)
            return ws.name;
    return dest;
}

std::optional<Url> Settings::link(const QString& dest, const QString& call) const
{
    if (dest == FiledRef::personal)
        return Url::parse(platformAddress() + QStringLiteral("/app/r/") + urlComponent(call));
    for (const Workspace& ws : projects_)
        if (ws.slug == dest)
            return ws.link(QStringLiteral("library/call/") + urlComponent(call));
    return std::nullopt;
}

std::optional<Url> Settings::boardURL()
{
    if (signedIn())
        return Url::parse(platformAddress() + QStringLiteral("/app"));
    if (const auto ws = home())
        return ws->link(QStringLiteral("board"));
    return std::nullopt;
}

QString Settings::keyFor(const Workspace& workspace)
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

void Settings::setKey(const QString& key, const Workspace& workspace)
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

void Settings::remove(const Workspace& workspace)
{
    Keychain::remove(idText(workspace.id));
    keyCache_.remove(workspace.id);
    std::vector<Workspace> left;
    std::copy_if(workspaces_.begin(), workspaces_.end(), std::back_inserter(left),
                 [&](const Workspace& ws) { return ws.id != workspace.id; });
    setWorkspaces(left);
    if (activeID_ == workspace.id)
        setActiveID(left.empty() ? std::nullopt : std::optional(left.front().id));
}

std::optional<QString> Settings::myName(const std::optional<Workspace>& workspace) const
{
    if (!workspace)
        return std::nullopt;
    const auto it = names_.constFind(idText(workspace->id));
    if (it != names_.constEnd())
        return *it;
    if (workspace->isProject())
        return accountName_;
    return std::nullopt;
}

QDateTime Settings::dateFromMinute(int minute)
{
    return dateFromMinute(minute, Clock::current().now());
}

QDateTime Settings::dateFromMinute(int minute, const QDateTime& now)
{
    const int hour = minute / 60;
    const QTime time(hour, minute - hour * 60);
    if (!time.isValid())
        return now;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDate today = now.toTimeZone(zone).date();
    // Try the day's offsets (two on a day the clocks change) and keep the
    // earliest instant that reads as the wanted time: a repeated time is its
    // first occurrence.
    const QDateTime start = today.startOfDay(zone), end = today.endOfDay(zone);
    const QDateTime asUtc(today, time, QTimeZone::utc());
    std::optional<QDateTime> found;
    for (const int offset : {zone.offsetFromUtc(start), zone.offsetFromUtc(end)}) {
        const QDateTime instant = asUtc.addSecs(-offset);
        const QDateTime local = instant.toTimeZone(zone);
        if (local.date() == today && local.time() == time && (!found || instant < *found))
            found = instant;
    }
    if (found)
        return *found;
    // The time falls in a gap: the first time that exists after it is the moment
    // the clocks jump.
    const QTimeZone::OffsetData jump = zone.nextTransition(start);
    if (jump.atUtc.isValid() && jump.atUtc <= end)
        return jump.atUtc.toUTC();
    return now;
}

int Settings::minuteFrom(const QDateTime& date)
{
    const QTime time = date.toTimeZone(QTimeZone::systemTimeZone()).time();
    return time.hour() * 60 + time.minute();
}
