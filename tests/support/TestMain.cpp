// The main of every test program. Whatever environment the program is started
// in, tests write only below a temporary folder and see Europe/Berlin time.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>

#ifdef ZELVAN_TEST_GUI
#include <QApplication>
using App = QApplication;
#else
#include <QCoreApplication>
using App = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();

    // Static, so that test children ending in std::exit (death tests) remove it too.
    static QTemporaryDir scratch(QDir::tempPath() + "/zelvan-test-XXXXXX");
    if (!qEnvironmentVariableIsSet("ZELVAN_SUPPORT_DIR"))
        qputenv("ZELVAN_SUPPORT_DIR", QFile::encodeName(scratch.filePath("support")));
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = scratch.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
    }

    ::testing::InitGoogleTest(&argc, argv);
    App app(argc, argv);
    return RUN_ALL_TESTS();
}
