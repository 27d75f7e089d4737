#include "support/TextImages.h"

#include <QPainter>

namespace TextImages {

QFont font(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QStringList threeLines()
{
    return {"Bramel token launch console", "Leaderboard ATH market caps", "Pricing: annual plan first"};
}

QImage threeLineFrame()
{
    QImage image(1200, 420, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::black);
    p.setFont(font(44));
    const int fromBottom[] = {330, 250, 170};
    const QStringList lines = threeLines();
    for (int i = 0; i < 3; ++i)
        p.drawText(40, image.height() - fromBottom[i], lines[i]);
    return image;
}

QString slideMenuBar()
{
    return "Keynote  File  Edit  Insert  Slide  Format  Arrange  View  Play  Window  Help";
}

QImage slide(const QString& title, const QStringList& lines)
{
    QImage image(1440, 900, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, image.width(), 26, QColor(236, 236, 236));
    p.setPen(Qt::black);
    p.setFont(font(14));
    p.drawText(16, 18, slideMenuBar());
    p.setFont(font(64, true));
    p.drawText(120, 220, title);
    p.setFont(font(36));
    int y = 360;
    for (const QString& line : lines) {
        p.drawText(120, y, line);
        y += 80;
    }
    return image;
}

QImage desktop()
{
    QImage image(1920, 1080, QImage::Format_RGB888);
    image.fill(QColor(40, 44, 52));
    QPainter p(&image);
    p.fillRect(0, 0, 1920, 28, QColor(30, 30, 30));
    p.setPen(Qt::white);
    p.setFont(font(14));
    p.drawText(10, 19, "Activities   Files   Edit   View   Go   Help");
    p.drawText(1780, 19, "Thu 14:05");

    p.fillRect(60, 60, 1800, 980, Qt::white);
    p.fillRect(60, 60, 1800, 36, QColor(230, 230, 230));
    p.setPen(Qt::black);
    p.setFont(font(15, true));
    p.drawText(80, 84, "notes.md - Text Editor");
    p.fillRect(60, 96, 300, 944, QColor(245, 245, 245));
    p.setFont(font(14));
    const char* side[] = {"Inbox",         "Drafts",         "Sent",    "Projects",
                          "Bramel launch", "Tovarind audit", "Archive", "Settings"};
    for (int i = 0; i < 8; ++i)
        p.drawText(80, 130 + i * 30, side[i]);
    p.setFont(font(15));
    for (int i = 0; i < 40; ++i)
        p.drawText(400, 130 + i * 23,
                   QString("Line %1: the quarterly plan covers pricing, leaderboard and launch console work").arg(i + 1));
    return image;
}

} // namespace TextImages
