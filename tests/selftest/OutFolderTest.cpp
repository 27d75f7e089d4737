#include "selftest/OutFolder.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(OutFolder, NewFolderIsMadeAndMarked)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("a/b"));
    const auto p = OutFolder::prepare(path);
    ASSERT_FALSE(p.error) << p.error->toStdString();
    EXPECT_EQ(p.path, path);
    EXPECT_TRUE(QFile::exists(QDir(path).filePath(OutFolder::marker)));
}

TEST(OutFolder, ARunStartsFromAnEmptyFolderItMade)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("out"));
    ASSERT_FALSE(OutFolder::prepare(path).error);
    QDir(path).mkpath(QStringLiteral("recordings/x"));
    writeFile(QDir(path).filePath(QStringLiteral("recordings/x/meta.json")), "x");
    writeFile(QDir(path).filePath(QStringLiteral("mixed.m4a")), "x");

    const auto again = OutFolder::prepare(path);
    ASSERT_FALSE(again.error);
    EXPECT_EQ(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{OutFolder::marker});
}

TEST(OutFolder, AnEmptyFolderIsTaken)
{
    QTemporaryDir tmp;
    const auto p = OutFolder::prepare(tmp.path());
    EXPECT_FALSE(p.error);
}

TEST(OutFolder, FoldersItDidNotMakeAreRefusedAndKept)
{
    QTemporaryDir tmp;
    const QString mine = tmp.filePath(QStringLiteral("home"));
    QDir().mkpath(mine + QStringLiteral("/Documents"));
    writeFile(mine + QStringLiteral("/Documents/thesis.tex"), "x");
    const QString file = tmp.filePath(QStringLiteral("file.txt"));
    writeFile(file, "x");
    const QString link = tmp.filePath(QStringLiteral("link"));
    const QString linked = tmp.filePath(QStringLiteral("made"));
    ASSERT_FALSE(OutFolder::prepare(linked).error);
    ASSERT_TRUE(QFile::link(linked, link));

    for (const QString& path : {mine, file, link, QStringLiteral("/"), QDir::homePath()}) {
        const auto p = OutFolder::prepare(path);
        EXPECT_TRUE(p.error) << path.toStdString();
    }
    EXPECT_TRUE(QFile::exists(mine + QStringLiteral("/Documents/thesis.tex"))) << "nothing removed";
    EXPECT_FALSE(QFile::exists(QDir(mine).filePath(OutFolder::marker))) << "nothing written";
    EXPECT_TRUE(QFile::exists(file));
}
