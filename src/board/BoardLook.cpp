#include "board/BoardLook.h"

#include <QStringList>
#include <algorithm>

namespace BoardLook {

std::optional<QColor> parseCSSColor(const QString& text)
{
    QString rest = text;
    rest.remove(QStringLiteral("rgba("));
    rest.remove(QStringLiteral("rgb("));
    rest.remove(u')');
    std::vector<double> numbers;
    for (const QString& piece : rest.split(u',', Qt::SkipEmptyParts)) {
        QString t = piece;
        while (!t.isEmpty() && (t.front() == u' ' || t.front() == u'\t'))
            t.remove(0, 1);
        while (!t.isEmpty() && (t.back() == u' ' || t.back() == u'\t'))
            t.chop(1);
        bool ok = false;
        const double v = t.toDouble(&ok);
        if (ok)
            numbers.push_back(v);
    }
    if (numbers.size() < 3 || (numbers.size() >= 4 && !(numbers[3] > 0.5)))
        return std::nullopt;
    QColor c;
    c.setRgbF(float(std::clamp(numbers[0] / 255, 0.0, 1.0)), float(std::clamp(numbers[1] / 255, 0.0, 1.0)),
              float(std::clamp(numbers[2] / 255, 0.0, 1.0)), 1.0f);
    return c;
}

double luminance(const QColor& colour)
{
    if (!colour.isValid())
        return 0.0;
    const QColor c = colour.toRgb();
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

bool isLight(double luminance)
{
    return luminance > 0.5;
}

double zoomIn(double zoom)
{
    return std::min(zoom + zoomStep, zoomMax);
}

double zoomOut(double zoom)
{
    return std::max(zoom - zoomStep, zoomMin);
}

QString failurePage(const QString& host, const QString& description)
{
    static const QString head = QStringLiteral(
        "<!doctype html><meta "
        "charset=\"utf-8\"><style>html,body{margin:0;height:100%;background:#07080b;color:#a3a8b0;\n"
        "font:14px -apple-system,system-ui;display:flex;align-items:center;justify-content:center;text-align:center}\n"
        "b{color:#f3f5f8;display:block;font-size:17px;margin-bottom:6px}kbd{font:12px "
        "ui-monospace,monospace;color:#c6ff3d}</style>\n"
        "<div><b>Can\u2019t reach ");
    return head + host.toHtmlEscaped() + QStringLiteral("</b>") + description.toHtmlEscaped()
        + QStringLiteral("<br><br>Press <kbd>Ctrl+R</kbd> to try again.</div>");
}

} // namespace BoardLook
