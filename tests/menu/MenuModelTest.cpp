// The menu model: its action table, the fold state kept in the settings
// store, and the keyboard selection.
#include "menu/MenuModel.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

namespace {

class MenuModelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("defaults.conf");
    QSettings store{path, QSettings::IniFormat};
};

TEST_F(MenuModelTest, FoldStateComesFromTheStoreAndIsWrittenBack)
{
    EXPECT_TRUE(MenuModel(store).upNextOpen()); // nothing stored

    store.setValue(MenuModel::upNextKey, "folded");
    EXPECT_TRUE(MenuModel(store).upNextOpen()) << "not a boolean: as if absent";

    MenuModel m(store);
    m.setUpNextOpen(false);
    // Read by another reader of the same file: written at once.
    QSettings other(path, QSettings::IniFormat);
    EXPECT_EQ(other.value(MenuModel::upNextKey).toString(), "false");
    EXPECT_FALSE(MenuModel(other).upNextOpen());
}

TEST_F(MenuModelTest, ActKeepsFirstPlaceAndTheLastAction)
{
    MenuModel m(store);
    QStringList ran;
    m.begin();
    EXPECT_EQ(m.act("a", [&] { ran << "a1"; }), "a");
    m.act("b", [&] { ran << "b"; });
    m.act("a", [&] { ran << "a2"; });
    EXPECT_EQ(m.order(), QStringList({"a", "b"}));
    m.perform("a", true);
    EXPECT_EQ(ran, QStringList({"a2"}));

    m.begin();
    EXPECT_TRUE(m.order().isEmpty());
    EXPECT_TRUE(m.actions().isEmpty());
}

TEST_F(MenuModelTest, PerformClosesFirstUnlessKeptOpenAndIgnoresUnknownIds)
{
    MenuModel m(store);
    QStringList log;
    m.close = [&] { log << "close"; };
    m.begin();
    m.act("go", [&] { log << "go"; });
    m.commit({});

    m.perform("nope");
    EXPECT_TRUE(log.isEmpty());
    m.perform("go");
    EXPECT_EQ(log, QStringList({"close", "go"}));
    log.clear();
    m.perform("go", true);
    EXPECT_EQ(log, QStringList({"go"}));
}

TEST_F(MenuModelTest, AnActionMayRebuildTheTableItRunsFrom)
{
    MenuModel m(store);
    int runs = 0;
    m.begin();
    m.act("rebuild", [&] {
        ++runs;
        m.begin();
        m.act("other", [] {});
        m.commit({});
    });
    m.perform("rebuild");
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(m.order(), QStringList({"other"}));
}

TEST_F(MenuModelTest, CommitDropsOnlyAStaleSelection)
{
    MenuModel m(store);
    m.begin();
    m.act("a", [] {});
    m.act("todo.x", [] {});
    m.commit({});
    m.setUpNextOpen(false);
    m.setSelected("todo.x");
    m.begin();
    m.act("a", [] {});
    m.act("todo.x", [] {});
    m.commit({});
    EXPECT_EQ(m.selected(), "todo.x") << "still registered, though folded away";

    m.begin();
    m.act("a", [] {});
    m.commit({});
    EXPECT_EQ(m.selected(), std::nullopt);
}

TEST_F(MenuModelTest, VisibleOrderAndMove)
{
    MenuModel m(store);
    m.begin();
    for (const char* id : {"rec", "todo.ws.1", "upnext.toggle", "f.quit"})
        m.act(id, [] {});
    m.commit({});

    EXPECT_EQ(m.visibleOrder(), QStringList({"rec", "todo.ws.1", "upnext.toggle", "f.quit"}));
    m.setUpNextOpen(false);
    EXPECT_EQ(m.visibleOrder(), QStringList({"rec", "upnext.toggle", "f.quit"}));

    struct Step {
        std::optional<QString> from;
        int delta;
        QString to;
    };
    const Step steps[] = {
        {std::nullopt, 1, "rec"},    {std::nullopt, -1, "f.quit"}, {std::nullopt, 0, "f.quit"}, {"f.quit", 1, "f.quit"},
        {"rec", -1, "rec"},          {"rec", 2, "f.quit"},         {"rec", 9, "f.quit"},        {"todo.ws.1", 1, "rec"},
        {"todo.ws.1", -1, "f.quit"}, {"upnext.toggle", -1, "rec"},
    };
    for (const Step& s : steps) {
        m.setSelected(s.from);
        m.move(s.delta);
        EXPECT_EQ(m.selected(), s.to) << (s.from ? s.from->toStdString() : "none") << " by " << s.delta;
    }

    MenuModel empty(store);
    empty.move(1);
    EXPECT_EQ(empty.selected(), std::nullopt);
}

} // namespace
