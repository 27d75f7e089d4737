#include "core/Settings.h"

#include "core/Address.h"
#include "core/Clock.h"
#include "core/Json.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "platform/AppId.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Key = Settings::Key;

// How a property is kept in the store.
enum class Type {
    text,   // a string; absent when nothing
    flag,   // a boolean
    number, // an integer
    list,   // workspaces as compact JSON text
    filed,  // a FiledRef as compact JSON text, its date in seconds since 2001
    id,     // a UUID as upper-case text
    names,  // a map of texts
    none,   // not stored
};

struct Entry {
    Key key;
    const char* name;
    Type type;
    int start; // flags and numbers: the value while nothing is stored
};

// Every property, in the order of Settings::Key.
constexpr Entry table[] = {
    {Key::platformBase, "platformBase", Type::text, 0},
    {Key::accountEmail, "accountEmail", Type::text, 0},
    {Key::accountName, "accountName", Type::text, 0},
    {Key::projects, "projects", Type::list, 0},
    {Key::accountError, "accountError", Type::none, 0},
    {Key::workdaySlug, "workdaySlug", Type::text, 0},
    {Key::personalRoot, "personalRoot", Type::text, 0},
    {Key::autoFileTeamCalls, "autoFileTeamCalls", Type::flag, false},
    {Key::lastFiled, "lastFiled", Type::filed, 0},
    {Key::workspaces, "workspaces", Type::list, 0},
    {Key::active, "active", Type::id, 0},
    {Key::names, "names", Type::names, 0},
    {Key::trackWorkday, "trackWorkday", Type::flag, false},
    {Key::includeTitles, "includeTitles", Type::flag, true},
    {Key::offerCalls, "offerCalls", Type::flag, true},
    {Key::autoRecordCalls, "autoRecordCalls", Type::flag, false},
    {Key::liveTips, "liveTips", Type::flag, true},
    {Key::autoPin, "autoPin", Type::flag, true},
    {Key::liveHearing, "liveHearing", Type::flag, true},
    {Key::breakReminders, "breakReminders", Type::flag, true},
    {Key::breakMinutes, "breakMinutes", Type::number, 50},
    {Key::workoutOn, "workoutOn", Type::flag, true},
    {Key::workoutMinute, "workoutMinute", Type::number, 1050},
    {Key::wrapOn, "wrapOn", Type::flag, true},
    {Key::wrapMinute, "wrapMinute", Type::number, 1080},
};
static_assert(std::size(table) == Settings::keyCount);
static_assert([] {
    for (size_t i = 0; i < std::size(table); ++i)
        if (table[i].key != Key(i))
            return false;
    return true;
}());

const Entry& entry(Key key)
{
    return table[size_t(key)];
}

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

std::vector<Workspace> startServers()
{
    return {Workspace(QStringLiteral("Bramel"), QStringLiteral("https://bramel.zelvan.app")),
            Workspace(QStringLiteral("Tovarind"), QStringLiteral("https://tovarind.zelvan.app"))};
}

} // namespace

// --- Store ---------------------------------------------------------------

QLatin1String Settings::name(Key key)
{
    return QLatin1String(entry(key).name);
}

namespace {
std::mutex damageMutex;
std::optional<QString> damage;
} // namespace

std::unique_ptr<QSettings> Settings::suite(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return nullptr;
    const QString dir = Paths::ensure(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                      + QStringLiteral("/Zelvan"));
    const QString file = dir + u'/' + name + QStringLiteral(".conf");
    // The store holds the account's e-mail: make it owner-only before the first
    // write, since every later atomic rewrite keeps the file's permissions.
    const auto create = [&file] {
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    };
    create();
    auto store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    if (store->status() != QSettings::FormatError)
        return store;

    // A damaged file would be overwritten by the next change with only what
    // could be read from it: keep the file aside, carry over what was read, and
    // say so once.
    QVariantMap readable;
    for (const QString& key : store->allKeys())
        readable.insert(key, store->value(key));
    store.reset();
    const QString kept = file + QStringLiteral(".unreadable");
    QFile::remove(kept);
    if (!QFile::rename(file, kept))
        QFile::remove(file);
    create();
    store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    for (auto it = readable.cbegin(); it != readable.cend(); ++it)
        store->setValue(it.key(), it.value());
    store->sync();
    slog(QStringLiteral("settings: %1 could not be read; %2 value(s) kept, the file itself kept as %3")
             .arg(file)
             .arg(readable.size())
             .arg(kept));
    const std::lock_guard lock(damageMutex);
    damage = QStringLiteral("The settings file %1 could not be read. What could be read from it is kept; the file "
                            "itself is kept as %2. Settings that were lost are back at their defaults.")
                 .arg(file, kept);
    return store;
}

std::optional<QString> Settings::takeDamage()
{
    const std::lock_guard lock(damageMutex);
    return std::exchange(damage, std::nullopt);
}

void Settings::removeSuite(const QString& name)
{
    QString file;
    if (auto store = suite(name)) {
        store->clear();
        store->sync();
        file = store->fileName();
    }
    // Only once the store is gone, so that nothing writes the file back.
    if (!file.isEmpty())
        QFile::remove(file);
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

Settings::Settings(std::unique_ptr<QSettings> defaults, QObject* parent)
    : QObject(parent)
    , d_(std::move(defaults))
{
    const auto has = [this](Key key) { return d_->contains(name(key)); };
    const auto value = [this](Key key) { return d_->value(name(key)); };
    const auto text = [&](Key key) { return has(key) ? textOf(value(key)) : std::nullopt; };

    for (const Entry& e : table) {
        if (e.type == Type::flag)
            simple_[size_t(e.key)] = has(e.key) ? boolOf(value(e.key)) : e.start;
        else if (e.type == Type::number)
            simple_[size_t(e.key)] = has(e.key) ? intOf(value(e.key)) : e.start;
    }

    const auto base = text(Key::platformBase);
    platformBase_ = Address::clean(base && !base->trimmed().isEmpty() ? *base : Address::defaultBase);
    accountEmail_ = text(Key::accountEmail);
    accountName_ = text(Key::accountName);
    projects_ = readList(value(Key::projects)).value_or(std::vector<Workspace>());
    workdaySlug_ = text(Key::workdaySlug);
    personalRoot_ = text(Key::personalRoot);
    lastFiled_ = readFiled(value(Key::lastFiled));

    auto stored = readList(value(Key::workspaces));
    workspaces_ = stored ? std::move(*stored) : startServers();
    if (const auto active = text(Key::active)) {
        const QUuid id = QUuid::fromString(*active);
        if (!id.isNull())
            activeID_ = id;
    }
    const QVariant names = value(Key::names);
    if (names.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = names.toMap();
        const bool allText = std::all_of(map.begin(), map.end(),
                                         [](const QVariant& v) { return v.typeId() == QMetaType::QString; });
        if (allText)
            for (auto it = map.begin(); it != map.end(); ++it)
                names_.insert(it.key(), it.value().toString());
    }

    const bool selectionValid = activeID_
        && std::any_of(workspaces_.begin(), workspaces_.end(),
                       [this](const Workspace& ws) { return ws.id == *activeID_; });
    if (!selectionValid)
        setActiveID(workspaces_.empty() ? std::nullopt : std::optional(workspaces_.front().id));
    saveList(Key::workspaces, workspaces_);

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
    saveList(Key::projects, projects_);
    d_->sync();
}

Settings::~Settings()
{
    d_->sync();
}

void Settings::written(Key key)
{
    // Each change goes to disk at once, so a crash loses none.
    if (entry(key).type != Type::none)
        d_->sync();
    emit changed(key);
}

void Settings::writeText(Key key, const std::optional<QString>& value)
{
    if (value)
        d_->setValue(name(key), *value);
    else
        d_->remove(name(key));
}

void Settings::writeValue(Key key, const QVariant& value)
{
    d_->setValue(name(key), value);
}

void Settings::saveList(Key key, const std::vector<Workspace>& list)
{
    QJsonArray array;
    for (const Workspace& ws : list)
        array.append(ws.toJson());
    writeValue(key, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
}

void Settings::setSimple(Key key, int value)
{
    simple_[size_t(key)] = value;
    if (entry(key).type == Type::flag)
        writeValue(key, value != 0);
    else
        writeValue(key, value);
    written(key);
}

// --- Properties ----------------------------------------------------------

void Settings::setPlatformBase(const QString& value)
{
    platformBase_ = value;
    writeValue(Key::platformBase, value);
    written(Key::platformBase);
}

QString Settings::platformAddress() const
{
    const QString cleaned = Address::clean(platformBase_);
    return cleaned.isEmpty() ? Address::clean(Address::defaultBase) : cleaned;
}

void Settings::setAccountEmail(const std::optional<QString>& value)
{
    accountEmail_ = value;
    writeText(Key::accountEmail, value);
    written(Key::accountEmail);
}

void Settings::setAccountName(const std::optional<QString>& value)
{
    accountName_ = value;
    writeText(Key::accountName, value);
    written(Key::accountName);
}

void Settings::setProjects(const std::vector<Workspace>& value)
{
    projects_ = value;
    saveList(Key::projects, projects_);
    written(Key::projects);
}

void Settings::setAccountError(const std::optional<QString>& value)
{
    accountError_ = value;
    written(Key::accountError);
}

void Settings::setWorkdaySlug(const std::optional<QString>& value)
{
    workdaySlug_ = value;
    writeText(Key::workdaySlug, value);
    written(Key::workdaySlug);
}

void Settings::setPersonalRoot(const std::optional<QString>& value)
{
    personalRoot_ = value;
    writeText(Key::personalRoot, value);
    written(Key::personalRoot);
}

void Settings::setAutoFileTeamCalls(bool value)
{
    setSimple(Key::autoFileTeamCalls, value);
}

void Settings::setLastFiled(const std::optional<FiledRef>& value)
{
    lastFiled_ = value;
    writeText(Key::lastFiled,
              value ? std::optional(QString::fromUtf8(
                  QJsonDocument(value->toJson(FiledRef::Dates::sinceReference)).toJson(QJsonDocument::Compact)))
                    : std::nullopt);
    written(Key::lastFiled);
}

void Settings::setWorkspaces(const std::vector<Workspace>& value)
{
    workspaces_ = value;
    saveList(Key::workspaces, workspaces_);
    written(Key::workspaces);
}

void Settings::setActiveID(const std::optional<QUuid>& value)
{
    activeID_ = value;
    writeText(Key::active, value ? std::optional(idText(*value)) : std::nullopt);
    written(Key::active);
}

void Settings::setNames(const QMap<QString, QString>& value)
{
    names_ = value;
    QVariantMap map;
    for (auto it = value.begin(); it != value.end(); ++it)
        map.insert(it.key(), it.value());
    writeValue(Key::names, map);
    written(Key::names);
}

void Settings::setTrackWorkday(bool value)
{
    setSimple(Key::trackWorkday, value);
}
void Settings::setIncludeTitles(bool value)
{
    setSimple(Key::includeTitles, value);
}
void Settings::setOfferCalls(bool value)
{
    setSimple(Key::offerCalls, value);
}
void Settings::setAutoRecordCalls(bool value)
{
    setSimple(Key::autoRecordCalls, value);
}
void Settings::setLiveTips(bool value)
{
    setSimple(Key::liveTips, value);
}
void Settings::setAutoPin(bool value)
{
    setSimple(Key::autoPin, value);
}
void Settings::setLiveHearing(bool value)
{
    setSimple(Key::liveHearing, value);
}
void Settings::setBreakReminders(bool value)
{
    setSimple(Key::breakReminders, value);
}
void Settings::setBreakMinutes(int value)
{
    setSimple(Key::breakMinutes, value);
}
void Settings::setWorkoutOn(bool value)
{
    setSimple(Key::workoutOn, value);
}
void Settings::setWorkoutMinute(int value)
{
    setSimple(Key::workoutMinute, value);
}
void Settings::setWrapOn(bool value)
{
    setSimple(Key::wrapOn, value);
}
void Settings::setWrapMinute(int value)
{
    setSimple(Key::wrapMinute, value);
}

bool Settings::legacyServers() const
{
    const QLatin1String key("legacyServers");
    return !d_->contains(key) || boolOf(d_->value(key));
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
