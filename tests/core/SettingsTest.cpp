// The preferences store over throw-away suites (files below the test's XDG folder).
#include "core/Settings.h"

#include "core/Address.h"
#include "core/WebPlatform.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QDir>
#include <QStandardPaths>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

class SettingsStore : public testing::Test {
protected:
    QString name_ = "test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);

    // The same suite as a plain store, to plant and inspect raw values.
    std::unique_ptr<QSettings> raw() const { return Settings::suite(name_); }
    std::unique_ptr<Settings> open() const { return std::make_unique<Settings>(Settings::suite(name_)); }

    void plant(const QString& key, const QVariant& value) const
    {
        auto store = raw();
        store->setValue(key, value);
        store->sync();
    }

    static QString listText(const std::vector<Workspace>& list)
    {
        QJsonArray array;
        for (const auto& ws : list)
            array.append(ws.toJson());
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    }

    // The stored text of workspaces with no slug, seat or API root, spelled out.
    static QString plainText(const std::vector<Workspace>& list)
    {
        QStringList items;
        for (const auto& ws : list)
            items << R"({"id":")" + ws.id.toString(QUuid::WithoutBraces).toUpper() + R"(","name":")" + ws.name
                    + R"(","server":")" + ws.server + R"("})";
        return '[' + items.join(',') + ']';
    }
};

Workspace project(const QString& base, const QString& slug)
{
    Workspace ws = WebPlatform::project(base, slug, slug, "member");
    ws.apiRoot.reset();
    return ws;
}

} // namespace

TEST_F(SettingsStore, EmptyStoreGivesStartValuesAndWritesOnlyTheRepairs)
{
    auto s = open();
    EXPECT_EQ(s->platformBase(), Address::defaultBase);
    EXPECT_FALSE(s->accountEmail() || s->accountName() || s->workdaySlug() || s->personalRoot() || s->lastFiled());
    EXPECT_TRUE(s->projects().empty());
    EXPECT_FALSE(s->autoFileTeamCalls() || s->trackWorkday() || s->autoRecordCalls());
    EXPECT_TRUE(s->includeTitles() && s->offerCalls() && s->liveTips() && s->autoPin() && s->liveHearing()
                && s->breakReminders() && s->workoutOn() && s->wrapOn());
    EXPECT_EQ(s->breakMinutes(), 50);
    EXPECT_EQ(s->workoutMinute(), 1050);
    EXPECT_EQ(s->wrapMinute(), 1080);
    EXPECT_TRUE(s->names().isEmpty());

    ASSERT_EQ(s->workspaces().size(), 2u);
    EXPECT_EQ(s->workspaces()[0].name, "Bramel");
    EXPECT_EQ(s->workspaces()[1].name, "Tovarind");
    for (const auto& ws : s->workspaces()) {
        EXPECT_TRUE(ws.server.startsWith("https://")) << ws.server.toStdString();
        EXPECT_FALSE(ws.isProject());
    }
    EXPECT_EQ(s->activeID(), s->workspaces()[0].id);

    auto store = raw();
    EXPECT_EQ(store->allKeys(), (QStringList{"active", "projects", "workspaces"}));
    EXPECT_EQ(store->value("projects").toString(), "[]");
    EXPECT_EQ(store->value("active").toString(), s->workspaces()[0].id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(store->value("workspaces").toString(), plainText(s->workspaces()));

    // The generated servers are kept, not made anew at the next start.
    EXPECT_EQ(open()->workspaces(), s->workspaces());
}

TEST_F(SettingsStore, PlatformBaseIsCleanedAtStartAndWhereverItIsUsed)
{
    plant("platformBase", "   ");
    EXPECT_EQ(open()->platformBase(), Address::defaultBase);

    plant("platformBase", "  http://127.0.0.1:7440//  ");
    auto s = open();
    EXPECT_EQ(s->platformBase(), "http://127.0.0.1:7440");
    EXPECT_EQ(raw()->value("platformBase").toString(), "  http://127.0.0.1:7440//  ");

    // Assigned at run time: stored as typed, used cleaned.
    s->setPlatformBase("https://team.example/ ");
    EXPECT_EQ(raw()->value("platformBase").toString(), "https://team.example/ ");
    EXPECT_EQ(s->platformBase(), "https://team.example/ ");
    EXPECT_EQ(s->platformAddress(), "https://team.example");
    s->setPlatformBase(" / ");
    EXPECT_EQ(s->platformAddress(), Address::defaultBase);
}

TEST_F(SettingsStore, RepairsTheLegacyServersAndTheSelection)
{
    Workspace a("A", "http://a.test"), b("B", "http://b.test");
    struct Case {
        const char* what;
        QVariant workspaces;
        std::optional<QString> active;
        int count;                        // workspaces after the start
        int selected;                     // index of the selection, -1 none
        std::vector<Workspace> kept = {}; // stored back; empty: the two legacy servers made at start
    };
    const QString ids[] = {a.id.toString(QUuid::WithoutBraces).toUpper(), b.id.toString(QUuid::WithoutBraces).toUpper()};
    const Case cases[] = {
        {"not JSON", "{oops", std::nullopt, 2, 0},
        {"objects without ids", R"([{"name":"x","server":"y"}])", std::nullopt, 2, 0},
        {"empty list", "[]", ids[0], 0, -1},
        {"stale selection", listText({a, b}), QUuid::createUuid().toString(QUuid::WithoutBraces), 2, 0, {a, b}},
        {"valid selection", listText({a, b}), ids[1], 2, 1, {a, b}},
    };
    for (const Case& c : cases) {
        raw()->clear();
        plant("workspaces", c.workspaces);
        if (c.active)
            plant("active", *c.active);
        auto s = open();
        ASSERT_EQ(int(s->workspaces().size()), c.count) << c.what;
        if (c.selected < 0) {
            EXPECT_FALSE(s->activeID()) << c.what;
            EXPECT_FALSE(raw()->contains("active")) << c.what;
        } else {
            EXPECT_EQ(s->activeID(), s->workspaces()[c.selected].id) << c.what;
            EXPECT_EQ(raw()->value("active").toString(),
                      s->workspaces()[c.selected].id.toString(QUuid::WithoutBraces).toUpper())
                << c.what;
        }
        EXPECT_EQ(raw()->value("workspaces").toString(), plainText(c.kept.empty() ? s->workspaces() : c.kept)) << c.what;
    }
}

TEST_F(SettingsStore, DropsProjectsOfAnotherBaseAndGivesOldOnesTheirRoot)
{
    const QString base = "http://127.0.0.1:7440";
    Workspace kept = project(base, "team two");
    Workspace withRoot = WebPlatform::project(base + "/", "ops", "Ops", std::nullopt, true);
    Workspace foreign = project("https://other.example", "team");
    plant("platformBase", base + "/");
    plant("projects", listText({foreign, kept, withRoot}));

    auto s = open();
    ASSERT_EQ(s->projects().size(), 2u);
    EXPECT_EQ(s->projects()[0].slug, "team two");
    EXPECT_EQ(s->projects()[0].apiRoot, base + "/api/v1/p/team%20two");
    EXPECT_EQ(s->projects()[1], withRoot) << "an existing API root is kept";
    EXPECT_EQ(raw()->value("projects").toString(),
              R"([{"apiRoot":"http://127.0.0.1:7440/api/v1/p/team%20two","id":"8784D2FD-B835-5655-8632-F3FF01219541",)"
              R"("name":"team two","seat":"member","server":"http://127.0.0.1:7440/app/p/team%20two","slug":"team two"},)"
              R"({"apiRoot":"http://127.0.0.1:7440/app/p/ops/api","id":"6A417F15-D754-58AA-8E90-A7B1631E17AA",)"
              R"("name":"Ops","server":"http://127.0.0.1:7440/app/p/ops","slug":"ops"}])");
}

TEST_F(SettingsStore, ReadsStoredValuesTheWayTheDefaultsStoreConverts)
{
    struct Flag {
        QVariant stored;
        bool value;
    };
    const Flag flags[] = {
        {"1", true},   {"0", false}, {"true", true}, {"false", false}, {"YES", true},    {"no", false}, {" t", true},
        {"007", true}, {"-2", true}, {"0.5", false}, {"", false},      {"maybe", false}, {5, true},     {0, false},
    };
    for (const Flag& f : flags) {
        raw()->clear();
        plant("includeTitles", f.stored); // starts true when absent
        plant("trackWorkday", f.stored);  // starts false when absent
        plant("autoFileTeamCalls", f.stored);
        auto s = open();
        EXPECT_EQ(s->includeTitles(), f.value) << f.stored.toString().toStdString();
        EXPECT_EQ(s->trackWorkday(), f.value) << f.stored.toString().toStdString();
        EXPECT_EQ(s->autoFileTeamCalls(), f.value) << f.stored.toString().toStdString();
    }

    struct Number {
        QVariant stored;
        int value;
    };
    const Number numbers[] = {{"42", 42}, {" 25 min", 25},          {"-3", -3}, {"abc", 0},
                              {"", 0},    {"99999999999", INT_MAX}, {7, 7}};
    for (const Number& n : numbers) {
        raw()->clear();
        plant("breakMinutes", n.stored);
        EXPECT_EQ(open()->breakMinutes(), n.value) << n.stored.toString().toStdString();
    }

    // Names survive only when every value is text.
    raw()->clear();
    plant("names", QVariantMap{{"A", "Ada"}, {"B", 3}});
    EXPECT_TRUE(open()->names().isEmpty());
    plant("names", QVariantMap{{"A", "Ada"}, {"B", "Bea"}});
    EXPECT_EQ(open()->names(), (QMap<QString, QString>{{"A", "Ada"}, {"B", "Bea"}}));
}

TEST_F(SettingsStore, EveryPropertyPersistsAcrossInstances)
{
    Workspace legacy("Home server", "http://localhost:8000/");
    const FiledRef filed{"rec:7", "Weekly sync, part 2", "bramel",
                         QDateTime::fromMSecsSinceEpoch(1767225600123, QTimeZone::utc())};
    {
        auto s = open();
        s->setPlatformBase("http://127.0.0.1:7440/");
        s->setAccountEmail("ada@example.com");
        s->setAccountName("Ada, \"the\" first");
        s->setProjects({WebPlatform::project("http://127.0.0.1:7440", "bramel", "Bramel", "owner")});
        s->setWorkdaySlug("bramel");
        s->setPersonalRoot("http://127.0.0.1:7440/api/v1/personal");
        s->setAutoFileTeamCalls(true);
        s->setLastFiled(filed);
        s->setWorkspaces({legacy});
        s->setActiveID(legacy.id);
        s->setNames({{legacy.id.toString(QUuid::WithoutBraces).toUpper(), "Ada L."}});
        s->setTrackWorkday(true);
        s->setIncludeTitles(false);
        s->setOfferCalls(false);
        s->setAutoRecordCalls(true);
        s->setLiveTips(false);
        s->setAutoPin(false);
        s->setLiveHearing(false);
        s->setBreakReminders(false);
        s->setBreakMinutes(25);
        s->setWorkoutOn(false);
        s->setWorkoutMinute(600);
        s->setWrapOn(false);
        s->setWrapMinute(1140);
        s->setAccountError("not stored");

        // A second instance reads what the first wrote while the first lives.
        EXPECT_EQ(open()->lastFiled(), filed);
    }
    auto s = open();
    EXPECT_EQ(s->platformBase(), "http://127.0.0.1:7440");
    EXPECT_EQ(s->accountEmail(), "ada@example.com");
    EXPECT_EQ(s->accountName(), "Ada, \"the\" first");
    ASSERT_EQ(s->projects().size(), 1u);
    EXPECT_EQ(s->projects()[0], WebPlatform::project("http://127.0.0.1:7440", "bramel", "Bramel", "owner"));
    EXPECT_EQ(s->workdaySlug(), "bramel");
    EXPECT_EQ(s->personalRoot(), "http://127.0.0.1:7440/api/v1/personal");
    EXPECT_TRUE(s->autoFileTeamCalls());
    EXPECT_EQ(s->lastFiled(), filed) << "the date keeps its milliseconds";
    EXPECT_EQ(s->workspaces(), std::vector<Workspace>{legacy});
    EXPECT_EQ(s->activeID(), legacy.id);
    EXPECT_EQ(s->names().value(legacy.id.toString(QUuid::WithoutBraces).toUpper()), "Ada L.");
    EXPECT_TRUE(s->trackWorkday());
    EXPECT_FALSE(s->includeTitles() || s->offerCalls() || s->liveTips() || s->autoPin() || s->liveHearing()
                 || s->breakReminders() || s->workoutOn() || s->wrapOn());
    EXPECT_TRUE(s->autoRecordCalls());
    EXPECT_EQ(s->breakMinutes(), 25);
    EXPECT_EQ(s->workoutMinute(), 600);
    EXPECT_EQ(s->wrapMinute(), 1140);
    EXPECT_FALSE(s->accountError());
    EXPECT_FALSE(raw()->contains("accountError"));
}

TEST_F(SettingsStore, LastFiledIsStoredAsSecondsSince2001)
{
    const FiledRef filed{"rec:1", "T", "personal", QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0, 500), QTimeZone::utc())};
    open()->setLastFiled(filed);
    const QJsonObject stored = QJsonDocument::fromJson(raw()->value("lastFiled").toString().toUtf8()).object();
    EXPECT_DOUBLE_EQ(stored.value("at").toDouble(), 60.5);

    plant("lastFiled", R"({"id":"rec:1","title":"T","dest":"personal","at":"2025-01-31T08:05:03Z"})");
    EXPECT_FALSE(open()->lastFiled()) << "an ISO date is not this store's form";
}

TEST_F(SettingsStore, EveryAssignmentNotifiesAndWritesNilRemoves)
{
    auto s = open();
    std::vector<Settings::Key> changes;
    QObject::connect(s.get(), &Settings::changed, [&](Settings::Key key) { changes.push_back(key); });

    s->setWorkdaySlug("bramel");
    EXPECT_EQ(raw()->value("workdaySlug").toString(), "bramel");
    s->setWorkdaySlug(std::nullopt);
    EXPECT_FALSE(raw()->contains("workdaySlug"));

    s->setOfferCalls(true); // the start value, never stored so far
    EXPECT_TRUE(raw()->contains("offerCalls"));
    s->setBreakMinutes(30);
    EXPECT_EQ(raw()->value("breakMinutes").toInt(), 30);
    s->setAccountError("x");
    using K = Settings::Key;
    EXPECT_EQ(changes,
              (std::vector<K>{K::workdaySlug, K::workdaySlug, K::offerCalls, K::breakMinutes, K::accountError}));
    EXPECT_EQ(Settings::name(K::active), QLatin1String("active"));
}

// Settings::shared() is made once per process, so each case runs in a fresh copy.
TEST_F(SettingsStore, TheStoreIsOwnerOnly)
{
    auto s = open();
    s->setAccountEmail("varra@example.com");
    EXPECT_EQ(fileMode(s->d().fileName()), 0600);
    EXPECT_EQ(fileMode(QFileInfo(s->d().fileName()).path()), 0700);
}

// A damaged file: what can be read is kept (the account among it), the file
// itself is kept aside, and from then on every change is saved again.
TEST_F(SettingsStore, ADamagedFileKeepsWhatCanBeReadAndSavesAgain)
{
    // Planted before any store of this process has read the file.
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Zelvan/" + name_
        + ".conf";
    QDir().mkpath(QFileInfo(file).path());
    writeFile(file, QByteArray("[General]\naccountEmail=varra@example.com\n\xff\xfe\x01 not a line\n[General\n"));
    {
        auto s = open();
        EXPECT_EQ(s->accountEmail(), "varra@example.com");
        s->setBreakMinutes(35);
    }
    // On disk, not only in this process's cache of the file.
    const QByteArray written = readFile(file);
    EXPECT_TRUE(written.contains("breakMinutes=35")) << written.toStdString();
    EXPECT_TRUE(written.contains("accountEmail=varra@example.com")) << written.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file + ".unreadable"));
    EXPECT_EQ(fileMode(file), 0600);
    // Said once.
    const auto damage = Settings::takeDamage();
    ASSERT_TRUE(damage);
    EXPECT_TRUE(damage->contains(file + ".unreadable")) << damage->toStdString();
    EXPECT_FALSE(Settings::takeDamage());
}

TEST(SettingsShared, OpensTheSuiteNamedByTheEnvironment)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qputenv("ZELVAN_DEFAULTS_SUITE", "zelvan-test-suite");
            std::exit(Settings::shared().d().fileName().endsWith("/Zelvan/zelvan-test-suite.conf") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            qputenv("ZELVAN_DEFAULTS_SUITE", "");
            std::exit(Settings::shared().d().fileName().endsWith("/Zelvan/app.zelvan.Zelvan.conf") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SettingsClock, MinuteOfTheDayInLocalTime)
{
    // Europe/Berlin (the test main's zone) springs forward on 2026-03-29 at 02:00
    // local time and falls back on 2026-10-25 at 03:00.
    FixedClock clock(QDateTime(QDate(2026, 3, 29), QTime(10, 0), QTimeZone::utc()));
    const auto utc = [](int month, int day, int h, int m) {
        return QDateTime(QDate(2026, month, day), QTime(h, m), QTimeZone::utc());
    };
    struct Case {
        int minute;
        QDateTime date;
    };
    const Case spring[] = {
        {1080, utc(3, 29, 16, 0)}, // 18:00 summer time
        {90, utc(3, 29, 0, 30)},   // 01:30 winter time, before the jump
        {120, utc(3, 29, 1, 0)},   // 02:00 does not exist: the first time after the gap, 03:00
        {150, utc(3, 29, 1, 0)},   // 02:30 too
        {180, utc(3, 29, 1, 0)},   // 03:00 itself
        {181, utc(3, 29, 1, 1)},
    };
    for (const Case& c : spring)
        EXPECT_EQ(Settings::dateFromMinute(c.minute), c.date) << c.minute;
    EXPECT_EQ(Settings::minuteFrom(utc(3, 29, 16, 0)), 1080);
    EXPECT_EQ(Settings::minuteFrom(Settings::dateFromMinute(1050)), 1050);

    // Minutes beyond the day give now.
    EXPECT_EQ(Settings::dateFromMinute(1440), clock.now());
    EXPECT_EQ(Settings::dateFromMinute(-30), clock.now());

    // A repeated time is its first occurrence (still summer time).
    clock.set(utc(10, 25, 12, 0));
    EXPECT_EQ(Settings::dateFromMinute(150), utc(10, 25, 0, 30));
}
