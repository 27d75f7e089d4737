#include "support/TestSupport.h"

#include "core/Keychain.h"
#include "core/Log.h"
#include "core/Paths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimeZone>
#include <QUuid>
#include <stdexcept>
#include <sys/stat.h>

TempSupport::TempSupport()
    : previousEnv_(qgetenv("ZELVAN_SUPPORT_DIR"))
    , hadEnv_(qEnvironmentVariableIsSet("ZELVAN_SUPPORT_DIR"))
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot make a temporary support folder");
    slogFlush(); // lines of an earlier test belong to its folder
    qputenv("ZELVAN_SUPPORT_DIR", QFile::encodeName(dir_.path()));
    Paths::setSupportForTesting(dir_.path());
}

TempSupport::~TempSupport()
{
    slogFlush();
    Paths::setSupportForTesting({});
    if (hadEnv_)
        qputenv("ZELVAN_SUPPORT_DIR", previousEnv_);
    else
        qunsetenv("ZELVAN_SUPPORT_DIR");
}

PrivateKeyring::PrivateKeyring()
    : previous_(Keychain::service())
    , name_("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    Keychain::setService(name_);
}

PrivateKeyring::~PrivateKeyring()
{
    Keychain::remove(Keychain::accountItem);
    Keychain::setService(previous_);
}

QString TempSupport::path() const
{
    return dir_.path();
}

QString TempSupport::file(const QString& name) const
{
    return dir_.filePath(name);
}

FixedClock::FixedClock(const QDateTime& start, double uptime)
    : now_(start)
    , uptime_(uptime)
{
    Clock::setCurrent(this);
}

FixedClock::~FixedClock()
{
    if (&Clock::current() == this)
        Clock::setCurrent(nullptr);
}

QDateTime FixedClock::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

double FixedClock::uptime() const
{
    std::lock_guard lock(mutex_);
    return uptime_;
}

void FixedClock::set(const QDateTime& now)
{
    std::lock_guard lock(mutex_);
    now_ = now;
}

void FixedClock::advance(double seconds)
{
    std::lock_guard lock(mutex_);
    now_ = now_.addMSecs(qint64(seconds * 1000));
    uptime_ += seconds;
}

bool waitFor(const std::function<bool()>& done, double seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (double(timer.elapsed()) > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

QStringList logLines()
{
    slogFlush();
    QStringList lines;
    for (const QByteArray& line : readFile(Paths::logFile()).split('\n'))
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).section(QStringLiteral("  "), 1);
    return lines;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

int fileMode(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}
