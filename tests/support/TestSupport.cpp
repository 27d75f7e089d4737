#include "support/TestSupport.h"

#include "core/Keychain.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/AacWriter.h"
#include "platform/AudioReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTemporaryFile>
#include <QTimeZone>
#include <QUuid>
#include <cmath>
#include <numbers>
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

bool libraryLoaded(const QByteArray& name, qint64 pid)
{
    const QString process = pid > 0 ? QString::number(pid) : QStringLiteral("self");
    return readFile(QStringLiteral("/proc/%1/maps").arg(process)).contains(name);
}

void writeToneTrack(const QString& path, int hz, double seconds)
{
    std::vector<float> samples(size_t(seconds * 48000));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.4 * std::sin(2 * std::numbers::pi * hz * double(i) / 48000));
    AacWriter writer(QFile::encodeName(path).toStdString());
    writer.append(samples.data(), int64_t(samples.size()));
    writer.close();
}

double toneShare(const std::string& audio, int hz)
{
    QTemporaryFile file;
    if (audio.empty() || !file.open() || file.write(audio.data(), qint64(audio.size())) != qint64(audio.size())
        || !file.flush())
        return 0;
    // Goertzel's power at `hz` over blocks of a tenth of a second, against the
    // power a pure tone of the block's energy would show there.
    double atTone = 0, whole = 0;
    try {
        AudioReader reader(QFile::encodeName(file.fileName()).toStdString());
        const double rate = reader.sampleRate();
        const size_t n = size_t(rate / 10);
        const double coeff = 2 * std::cos(2 * std::numbers::pi * hz / rate);
        std::vector<double> block;
        PcmBuffer pcm;
        const auto take = [&] {
            double s1 = 0, s2 = 0, energy = 0;
            for (const double x : block) {
                const double s0 = x + coeff * s1 - s2;
                s2 = s1;
                s1 = s0;
                energy += x * x;
            }
            atTone += s1 * s1 + s2 * s2 - coeff * s1 * s2;
            whole += energy * double(block.size()) / 2;
            block.clear();
        };
        while (reader.read(pcm)) {
            for (int64_t f = 0; f < pcm.frames(); ++f) {
                block.push_back(pcm.samples[size_t(f * pcm.channels)]);
                if (block.size() == n)
                    take();
            }
        }
    } catch (const std::exception&) {
        return 0;
    }
    return whole > 0 ? atTone / whole : 0;
}
