#include "ui/PalText.h"

#include "ui/TextRun.h"

#include <QTextLayout>
#include <cmath>

PalText::PalText(const QString& text, const QFont& font, Colour colour, QWidget* parent)
    : QWidget(parent)
    , text_(text)
    , font_(font)
    , colour_(std::move(colour))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PalText::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    shaped_.clear();
    updateGeometry();
    update();
}

void PalText::setWrap(qreal width, int maxLines, qreal lineSpacing)
{
    wrap_ = width;
    maxLines_ = maxLines;
    spacing_ = lineSpacing;
    shaped_.clear();
    updateGeometry();
    update();
}

void PalText::setColour(Colour colour)
{
    colour_ = std::move(colour);
    update();
}

QStringList PalText::lines() const
{
    if (wrap_ <= 0)
        return {text_};
    return breakLines(text_, font_, wrap_, maxLines_);
}

QStringList PalText::breakLines(const QString& given, const QFont& font, qreal width, int maxLines)
{
    // A layout treats "\n" as a space; a line separator ends the line.
    QString text = given;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QStringList out;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (maxLines > 0 && out.size() == maxLines - 1) {
            // The last line allowed takes the rest, cut to fit.
            const QString rest = text.mid(line.textStart()).simplified();
            out << QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
            break;
        }
        out << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

QSize PalText::sizeHint() const
{
    const qreal lineHeight = TextRun::height(font_);
    if (wrap_ <= 0)
        return {int(std::ceil(TextRun::width(text_, font_))), int(std::ceil(lineHeight))};
    const QStringList all = lines();
    qreal w = 0;
    for (const QString& line : all)
        w = std::max(w, TextRun::width(line, font_));
    const auto n = std::max<qsizetype>(1, all.size());
    return {int(std::ceil(std::min(w, wrap_))), int(std::ceil(n * lineHeight + (n - 1) * spacing_))};
}

void PalText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (shaped_.empty()) {
        for (const QString& line : lines()) {
            QStaticText text(line);
            text.setTextFormat(Qt::PlainText);
            text.setPerformanceHint(QStaticText::AggressiveCaching);
            shaped_.push_back(text);
        }
    }
    painter.setFont(font_);
    painter.setPen(colour_(Pal::of(this)));
    qreal top = 0;
    // A static text's position is its line's top; its baseline sits at the ascent, as TextRun draws.
    for (const QStaticText& line : shaped_) {
        painter.drawStaticText(QPointF(0, top), line);
        top += TextRun::height(font_) + spacing_;
    }
}
