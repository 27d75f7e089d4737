#include "core/Paths.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Sets an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value)
        : name_(name)
        , old_(qgetenv(name))
        , had_(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvVar()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

} // namespace

TEST(Paths, SupportFolderComesFromTheEnvironment)
{
    QTemporaryDir tmp;
    EnvVar data("XDG_DATA_HOME", QFile::encodeName(tmp.filePath("data")));

    {
        EnvVar env("ZELVAN_SUPPORT_DIR", QFile::encodeName(tmp.filePath("chosen")));
        EXPECT_EQ(Paths::locateSupport(), tmp.filePath("chosen"));
    }
    {
        // Set but empty counts as not set.
        EnvVar env("ZELVAN_SUPPORT_DIR", "");
        EXPECT_EQ(Paths::locateSupport(), tmp.filePath("data/Zelvan"));
    }
    {
        // A relative path resolves against the working directory.
        EnvVar env("ZELVAN_SUPPORT_DIR", "rel/dir");
        EXPECT_EQ(Paths::locateSupport(), QDir::current().absoluteFilePath("rel/dir"));
    }
}

TEST(Paths, SupportFolderIsMadeOnceOwnerOnlyAndKept)
{
    // The test main points ZELVAN_SUPPORT_DIR at a folder that does not exist yet.
    const QString first = Paths::support();
    EXPECT_TRUE(QFileInfo(first).isDir());
    EXPECT_EQ(fileMode(first), 0700);

    QTemporaryDir tmp;
    EnvVar env("ZELVAN_SUPPORT_DIR", QFile::encodeName(tmp.path()));
    EXPECT_EQ(Paths::support(), first) << "later changes of the environment have no effect";
}

TEST(Paths, SubFoldersAreMadeAgainOnEveryRead)
{
    TempSupport support;
    const QString rec = Paths::recordings();
    EXPECT_EQ(rec, support.file("recordings"));
    EXPECT_TRUE(QFileInfo(rec).isDir());
    EXPECT_EQ(fileMode(rec), 0700);
    EXPECT_EQ(Paths::workday(), support.file("workday"));
    EXPECT_EQ(Paths::pins(), support.file("pins"));

    // A folder made earlier with a wider mode is made owner-only.
    ::chmod(QFile::encodeName(support.file("pins")).constData(), 0755);
    EXPECT_EQ(fileMode(Paths::pins()), 0700);

    ASSERT_TRUE(QDir(rec).removeRecursively());
    EXPECT_TRUE(QFileInfo(Paths::recordings()).isDir());

    EXPECT_EQ(Paths::logFile(), support.file("zelvan.log"));
    EXPECT_FALSE(QFileInfo::exists(Paths::logFile())) << "the log file is made by the first line";
}

TEST(Paths, EnsureMakesParentsAndIgnoresErrors)
{
    QTemporaryDir tmp;
    const QString deep = tmp.filePath("a/b/c");
    EXPECT_EQ(Paths::ensure(deep), deep);
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_EQ(fileMode(tmp.filePath("a")), 0700);
    // An existing folder keeps its mode and what it holds.
    ASSERT_TRUE(QFile::setPermissions(deep,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::ExeGroup));
    writeFile(deep + "/kept", "x");
    EXPECT_EQ(Paths::ensure(deep), deep);
    EXPECT_EQ(fileMode(deep), 0750);
    EXPECT_EQ(readFile(deep + "/kept"), "x");

    writeFile(tmp.filePath("file"), "x");
    EXPECT_EQ(Paths::ensure(tmp.filePath("file/sub")), tmp.filePath("file/sub"));
}
