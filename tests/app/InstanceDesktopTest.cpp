// The running application as processes on the private desktop: one instance,
// hand-over, the diagnostic switches and a plain `kill`.
#include "app/SingleInstance.h"
#include "core/Settings.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLockFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <csignal>
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// `env`: variables beside this process's own.
std::unique_ptr<QProcess> start(const QStringList& args, const std::map<QString, QString>& env = {})
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env)
        environment.insert(name, value);
    p->setProcessEnvironment(environment);
    // Its log lines arrive on standard error.
    p->setReadChannel(QProcess::StandardError);
    p->start(ZELVAN_EXECUTABLE, args);
    EXPECT_TRUE(p->waitForStarted(30'000));
    return p;
}

// Reads the process's standard error until it holds `text`.
bool waitForLog(QProcess& p, QByteArray& err, const QByteArray& text)
{
    // What earlier waits already buffered counts too.
    err += p.readAllStandardError();
    while (!err.contains(text)) {
        if (p.state() == QProcess::NotRunning || !p.waitForReadyRead(120'000))
            return false;
        err += p.readAllStandardError();
    }
    return true;
}

// A box of ours on screen: titled "Zelvan".
bool boxShown()
{
    QProcess p;
    p.start("xdotool", {"search", "--onlyvisible", "--name", "^Zelvan$"});
    return p.waitForFinished(20'000) && p.exitCode() == 0;
}

void terminate(QProcess& p)
{
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60'000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

// The processes this test starts use a settings suite of their own whose
// platform is not there: the board that a hand-over opens loads nothing real.
class OfflineSuite {
public:
    OfflineSuite()
    {
        Settings(Settings::suite("instance-desktop-test")).setPlatformBase("http://127.0.0.1:1");
        qputenv("ZELVAN_DEFAULTS_SUITE", "instance-desktop-test");
    }
    ~OfflineSuite() { qunsetenv("ZELVAN_DEFAULTS_SUITE"); }
};

} // namespace

TEST(InstanceDesktop, TwoStartedTogetherLeaveExactlyOneRunning)
{
    TempSupport support;
    OfflineSuite suite;
    auto a = start({});
    auto b = start({});
    // Whichever loses hands over and leaves; the other stays.
    QProcess* loser = nullptr;
    QElapsedTimer waited;
    waited.start();
    while (!loser && waited.elapsed() < 120'000) {
        for (QProcess* p : {a.get(), b.get()})
            if (p->waitForFinished(100))
                loser = p;
    }
    ASSERT_TRUE(loser);
    QProcess& winner = loser == a.get() ? *b : *a;
    EXPECT_EQ(loser->exitCode(), 0);
    EXPECT_EQ(loser->readAllStandardError(), "[Zelvan] already running\n");
    QByteArray err;
    ASSERT_TRUE(waitForLog(winner, err, "[Zelvan] launched ")) << err.toStdString();
    EXPECT_EQ(winner.state(), QProcess::Running);
    terminate(winner);
}

TEST(InstanceDesktop, ALaterStartHandsItsLinkOverAndDiagnosticsRunBeside)
{
    TempSupport support;
    OfflineSuite suite;
    auto first = start({});
    QByteArray err;
    ASSERT_TRUE(waitForLog(*first, err, "[Zelvan] launched ")) << err.toStdString();

    QProcess second;
    second.start(ZELVAN_EXECUTABLE, {"zelvan://board"});
    ASSERT_TRUE(second.waitForFinished(180'000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardError(), "[Zelvan] already running\n");
    // The running one got the link.
    EXPECT_TRUE(waitForLog(*first, err, "[Zelvan] deep link ")) << err.toStdString();

    // A link in capitals is a link too; what it carries stays on one log line.
    QProcess hostile;
    hostile.start(ZELVAN_EXECUTABLE, {"ZELVAN://p/x%0A2026-01-01 09:00:00  sign-in: signed in as eve%1B%07"});
    ASSERT_TRUE(hostile.waitForFinished(60'000));
    EXPECT_TRUE(waitForLog(*first, err,
                           "[Zelvan] deep link project(slug: \"x 2026-01-01 09:00:00  sign-in: signed in as eve  \") -> "))
        << err.toStdString();
    ASSERT_TRUE(waitFor([&] { return readFile(support.file("zelvan.log")).contains("deep link project"); }, 30));
    for (const QByteArray& line : readFile(support.file("zelvan.log")).split('\n'))
        EXPECT_FALSE(line.contains("signed in as eve") && !line.contains("deep link")) << line.toStdString();

    // The menu dump bypasses the rule, prints and leaves after its delay.
    QProcess dump;
    dump.start(ZELVAN_EXECUTABLE, {"--dump-menu", "--dump-menu-delay", "0.5"});
    ASSERT_TRUE(dump.waitForFinished(180'000));
    EXPECT_EQ(dump.exitCode(), 0);
    const QByteArray dumpErr = dump.readAllStandardError();
    EXPECT_TRUE(dumpErr.contains("[Zelvan] menu dump:\n")) << dumpErr.toStdString();
    EXPECT_FALSE(dumpErr.contains("already running"));
    // The popover's own menu, signed out and idle: its header, the kick-in block
    // with the key as this desktop writes it, and the up-next section.
    const QString menu = QString::fromUtf8(dump.readAllStandardOutput());
    EXPECT_TRUE(menu.startsWith("Not signed in — ")) << menu.toStdString();
    EXPECT_TRUE(menu.contains("\n[Kick in Ctrl+Alt+R]\n  records screen & audio\n")) << menu.toStdString();
    EXPECT_TRUE(menu.contains("\n// UP NEXT (")) << menu.toStdString();

    EXPECT_EQ(first->state(), QProcess::Running);
    terminate(*first);
    // "already running" goes to the system log only, never into the running one's file.
    EXPECT_FALSE(readFile(support.file("zelvan.log")).contains("already running"));
    EXPECT_TRUE(QString::fromUtf8(readFile(support.file("zelvan.log"))).contains("menu dump:\n" + menu.chopped(1)));
}

TEST(InstanceDesktop, UiCheckReportsEachStepAndEnds)
{
    TempSupport support;
    QProcess p;
    p.start(ZELVAN_EXECUTABLE, {"--ui-check"});
    ASSERT_TRUE(p.waitForFinished(120'000));
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << lines.join('\n').toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith("ui-check: ")) << line.toStdString();
    EXPECT_TRUE(lines[0].startsWith("ui-check: popover open=")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("ui-check: after ↓↓↓ selected=")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("ui-check: after Esc open=")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("ui-check: hud pill frame=")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith("ui-check: hud card frame=")) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].startsWith("ui-check: hud dot frame=")) << lines[5].toStdString();
    EXPECT_EQ(lines[6], "ui-check: done");
    // The real popover opened with a frame and closed on Escape; the real panel
    // showed, kept out of recordings, with the two feed lines.
    EXPECT_TRUE(lines[0].startsWith("ui-check: popover open=true ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QRegularExpression(" frame=\\{\\{-?\\d+, -?\\d+\\}, \\{\\d+, \\d+\\}\\} ")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[2].startsWith("ui-check: after Esc open=false ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(" sharing=none:true")) << lines[3].toStdString();
    for (int i : {3, 4, 5})
        EXPECT_FALSE(lines[i].contains("frame=-")) << lines[i].toStdString();
    EXPECT_TRUE(lines[4].endsWith(" feed=2")) << lines[4].toStdString();
}

TEST(InstanceDesktop, SingleInstanceHandsMessagesLineByLine)
{
    TempSupport support;
    auto first = SingleInstance::claim({"reopen"});
    ASSERT_TRUE(first);
    QStringList heard;
    first->onMessage = [&](const QString& m) { heard << m; };
    // A second claim in this process finds the lock taken and hands over.
    EXPECT_FALSE(SingleInstance::claim({"url zelvan://board", "url zelvan:p/bramel"}));
    QElapsedTimer waited;
    waited.start();
    while (heard.size() < 2 && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(heard, (QStringList{"url zelvan://board", "url zelvan:p/bramel"}));
    // Once the first is gone the lock is free again.
    first.reset();
    EXPECT_TRUE(SingleInstance::claim({"reopen"}));
}

// `zelvan --sign-in` while one runs: the running one starts the sign-in and
// shows it in its settings window.
TEST(InstanceDesktop, ASecondSignInIsHandedOverAsASignIn)
{
    TempSupport support;
    OfflineSuite suite;
    auto first = start({});
    QByteArray err;
    ASSERT_TRUE(waitForLog(*first, err, "[Zelvan] launched ")) << err.toStdString();

    QProcess second;
    second.start(ZELVAN_EXECUTABLE, {"--sign-in"});
    ASSERT_TRUE(second.waitForFinished(60'000));
    EXPECT_EQ(second.exitCode(), 0);
    const auto settingsShown = [] {
        QProcess p;
        p.start("xdotool", {"search", "--onlyvisible", "--name", "^Zelvan Settings$"});
        return p.waitForFinished(20'000) && p.exitCode() == 0;
    };
    EXPECT_TRUE(waitFor(settingsShown, 60)) << err.toStdString();
    terminate(*first);
}

// A support folder that cannot be made or written is named at start.
TEST(InstanceDesktop, AnUnwritableSupportFolderIsNamedAtStart)
{
    TempSupport support;
    OfflineSuite suite;
    // A plain file where a parent folder should be: no folder can be made under it.
    const QString blocker = support.file("not-a-folder");
    writeFile(blocker, "x");
    const QString folder = blocker + "/Zelvan";
    auto started = start({}, {{"ZELVAN_SUPPORT_DIR", folder}});
    QProcess& p = *started;
    QByteArray err;
    EXPECT_TRUE(waitForLog(p, err, "[Zelvan] launched ")) << err.toStdString();
    EXPECT_TRUE(err.contains(("[Zelvan] the support folder " + folder + " cannot be written").toUtf8()))
        << err.toStdString();
    // The user sees it too: a box at start, titled as ours.
    ASSERT_TRUE(waitFor(boxShown, 120)) << err.toStdString();
    QProcess::execute("xdotool", {"key", "Return"});
    ASSERT_TRUE(waitFor([&] { return !boxShown(); }, 60));
    // A kick-in then fails in a box that says which folder failed.
    QProcess::execute("xdotool", {"key", "ctrl+alt+r"});
    EXPECT_TRUE(waitFor(boxShown, 120)) << err.toStdString();
    EXPECT_TRUE(waitForLog(p, err, ("start failed: cannot create the session folder " + folder).toUtf8()))
        << err.toStdString();
    terminate(p);
}

// A damaged settings file: the user is told at start, once.
TEST(InstanceDesktop, ADamagedSettingsFileIsSaidAtStartOnce)
{
    TempSupport support;
    const QString suite = "damaged-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString file = Settings::suite(suite)->fileName();
    writeFile(file, QByteArray("[General]\nbreakMinutes=40\n\xff\xfe\x01 junk\n[General\n"));
    for (int run = 1; run <= 2; ++run) {
        auto started = start({}, {{"ZELVAN_DEFAULTS_SUITE", suite}});
        QProcess& p = *started;
        QByteArray err;
        ASSERT_TRUE(waitForLog(p, err, "[Zelvan] launched ")) << err.toStdString();
        if (run == 1) {
            EXPECT_TRUE(waitFor(boxShown, 120)) << err.toStdString();
            EXPECT_TRUE(err.contains("could not be read")) << err.toStdString();
        } else {
            QThread::msleep(2000);
            EXPECT_FALSE(boxShown()) << "said again on the next start";
        }
        terminate(p);
    }
    EXPECT_TRUE(readFile(file).contains("breakMinutes=40"));
    Settings::removeSuite(suite);
}

namespace {

// No runtime folder from the session: the lock and socket must find a folder of
// their own under TMPDIR, where another account may have been first.
class NoRuntimeFolder {
public:
    NoRuntimeFolder()
        : runtime_(qgetenv("XDG_RUNTIME_DIR"))
        , tmp_(qgetenv("TMPDIR"))
    {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", dir_.path().toUtf8());
    }
    ~NoRuntimeFolder()
    {
        qputenv("XDG_RUNTIME_DIR", runtime_);
        qputenv("TMPDIR", tmp_);
    }
    QString path() const { return dir_.path(); }
    // The name every account would choose first.
    QString shared() const { return dir_.filePath("zelvan-" + QString::number(::getuid())); }

private:
    QByteArray runtime_, tmp_;
    QTemporaryDir dir_;
};

// Only this user, and nobody else, can reach the folder: ours, 0700, no link.
bool privateFolder(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 0777) == 0700;
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

} // namespace

TEST(InstanceDesktop, TheLockAndSocketLiveOnlyInAFolderOfTheUsersOwn)
{
    TempSupport support;
    struct Case {
        const char* name;
        std::function<void(const QString& shared)> squat; // what is at the shared name first
    };
    const QString elsewhere = QDir::temp().filePath("zelvan-elsewhere-" + QString::number(::getpid()));
    const std::vector<Case> cases = {
        {"nothing there", [](const QString&) {}},
        {"open to everyone",
         [](const QString& shared) {
             ASSERT_TRUE(QDir().mkpath(shared));
             ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
         }},
        {"a link to a private folder",
         [&](const QString& shared) {
             ASSERT_TRUE(QDir().mkpath(elsewhere));
             ASSERT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0700), 0);
             ASSERT_TRUE(QFile::link(elsewhere, shared));
         }},
        {"another account's",
         [](const QString& shared) {
             ASSERT_TRUE(QDir().mkpath(shared));
             ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0700), 0);
             // Only root can give a folder away; as another user this case is the same as the first.
             if (::getuid() == 0) {
                 ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), 65534, 65534), 0);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NoRuntimeFolder runtime;
        c.squat(runtime.shared());
        const bool squatted = std::string(c.name) != "nothing there" && (std::string(c.name) != "another account's" || ::getuid() == 0);
        auto instance = SingleInstance::claim({"reopen"});
        ASSERT_TRUE(instance);
        const QString lock = SingleInstance::lockPath();
        const QString folder = QFileInfo(lock).path();
        EXPECT_EQ(QFileInfo(SingleInstance::socketPath()).path(), folder);
        EXPECT_TRUE(privateFolder(folder)) << folder.toStdString();
        EXPECT_EQ(folder == runtime.shared(), !squatted) << folder.toStdString();
        EXPECT_EQ(modeOf(lock), mode_t(0600)) << lock.toStdString();
        instance.reset();
        QDir(elsewhere).removeRecursively();
    }
}

// The real application with no runtime folder, after another account took the
// shared name and listens there: it neither yields to that account nor hands
// it the link; it runs and opens the link itself.
TEST(InstanceDesktop, AFolderAnotherAccountMadeIsNeverTrusted)
{
    TempSupport support;
    OfflineSuite suite;
    NoRuntimeFolder runtime;
    const QString name = [] {
        QTemporaryDir probe;
        qputenv("XDG_RUNTIME_DIR", probe.path().toUtf8());
        ::chmod(QFile::encodeName(probe.path()).constData(), 0700);
        const QString n = QFileInfo(SingleInstance::lockPath()).completeBaseName();
        qunsetenv("XDG_RUNTIME_DIR");
        return n;
    }();
    ASSERT_FALSE(name.isEmpty());
    const QString shared = runtime.shared();
    ASSERT_TRUE(QDir().mkpath(shared));
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    // Every name it could guess: in that folder and right in the temporary folder.
    std::vector<std::unique_ptr<QLockFile>> held;
    std::vector<std::unique_ptr<QLocalServer>> squatters;
    for (const QString& dir : {shared, runtime.path()}) {
        held.push_back(std::make_unique<QLockFile>(dir + "/" + name + ".lock"));
        ASSERT_TRUE(held.back()->tryLock(0));
        squatters.push_back(std::make_unique<QLocalServer>());
        squatters.back()->setSocketOptions(QLocalServer::WorldAccessOption);
        ASSERT_TRUE(squatters.back()->listen(dir + "/" + name + ".sock"));
    }
    if (::getuid() == 0)
        ::chown(QFile::encodeName(shared).constData(), 65534, 65534);

    auto app = start({"zelvan://p/secret-project"});
    QByteArray err;
    ASSERT_TRUE(waitForLog(*app, err, "[Zelvan] launched ")) << err.toStdString();
    EXPECT_TRUE(waitForLog(*app, err, "[Zelvan] deep link ")) << err.toStdString();
    QCoreApplication::processEvents();
    for (const auto& squatter : squatters)
        EXPECT_FALSE(squatter->hasPendingConnections()) << "the link went to the other account";
    terminate(*app);
}
