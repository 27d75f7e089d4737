#include "core/Log.h"

#include "core/Clock.h"
#include "core/Paths.h"
#include "core/SerialQueue.h"
#include "platform/FileIO.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

SerialQueue& logQueue()
{
    // Never destroyed, so lines logged during static destruction still have a queue;
    // what is queued at exit is written by the flush registered here.
    static SerialQueue* queue = [] {
        auto* q = new SerialQueue("zelvan.log");
        std::atexit(slogFlush);
        return q;
    }();
    return *queue;
}

QByteArray stamp(const QDateTime& when)
{
    const time_t secs = time_t(when.toSecsSinceEpoch());
    struct tm local {};
    localtime_r(&secs, &local);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return QByteArray(text, qsizetype(n));
}

void append(const QByteArray& path, const QByteArray& line)
{
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && st.st_size > Log::maxBytes) {
        // The full file stays as the previous one: a flood of lines cannot wipe
        // out what was logged before it.
        ::rename(path.constData(), (path + ".1").constData());
    }

    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // the line is lost; logging never fails its caller
    FileIO::writeAll(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

} // namespace

void slog(const QString& message)
{
    SystemLog::write(message);
    QByteArray line = stamp(Clock::current().now());
    line += "  ";
    line += message.toUtf8();
    line += '\n';
    // The file is chosen here, not on the queue: a line belongs to the folder that
    // was current when it was logged, and the queue never touches Paths at exit.
    const QByteArray path = QFile::encodeName(Paths::logFile());
    logQueue().async([path, line = std::move(line)] { append(path, line); });
}

void slogFlush()
{
    logQueue().drain();
}

QString Log::oneLine(QString text)
{
    for (QChar& c : text) {
        const QChar::Category cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line || cat == QChar::Separator_Paragraph)
            c = u' ';
    }
    return text;
}
