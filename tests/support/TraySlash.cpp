#include "support/TraySlash.h"

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <cstdlib>
#include <map>

QRect slashOnScreen()
{
    const QRect lower = QGuiApplication::primaryScreen()->geometry().adjusted(0, 540, 0, 0);
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, lower.x(), lower.y(), lower.width(), lower.height()).toImage();
    QRect box;
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::abs(c.red() - 0x4a) <= 8 && std::abs(c.green() - 0x8a) <= 8 && c.blue() <= 8) {
                box |= QRect(lower.x() + x, lower.y() + y, 1, 1);
                ++n;
            }
        }
    return n >= 20 ? box : QRect();
}

QRect popoverOnScreen()
{
    return windowOnScreen(QStringLiteral("Zelvan"));
}

QRect windowOnScreen(const QString& title)
{
    QProcess p;
    p.start("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$', "getwindowgeometry", "--shell"});
    if (!p.waitForFinished(20'000) || p.exitCode() != 0)
        return {};
    std::map<QString, int> v;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        v[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
}

std::vector<ShownWindow> visibleWindows(qint64 pid)
{
    std::vector<ShownWindow> windows;
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    search.waitForFinished(20'000);
    for (const QString& id : QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        QProcess info;
        info.start("xwininfo", {"-id", id});
        info.waitForFinished(20'000);
        const QString text = QString::fromUtf8(info.readAllStandardOutput());
        const auto field = [&](const char* name) {
            return QRegularExpression(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)))
                .match(text)
                .captured(1)
                .toInt();
        };
        windows.push_back({id, QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                                     field("Height"))});
    }
    return windows;
}
