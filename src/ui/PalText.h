#pragma once

#include "ui/Pal.h"

#include <QStaticText>
#include <QWidget>
#include <functional>
#include <vector>

// A plain-text label of the floating surfaces: always plain text (titles and
// messages may come from the server or from window titles), its colour taken
// from the palette on every paint. With a wrap width it breaks onto at most
// `maxLines` lines of that width, the last one cut with an ellipsis; without
// one it stays on one line at its full width. Its lines are shaped once per
// text and kept for every later paint.
class PalText : public QWidget {
    Q_OBJECT
public:
    using Colour = std::function<QColor(const Pal&)>;

    PalText(const QString& text, const QFont& font, Colour colour, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    void setWrap(qreal width, int maxLines = 0, qreal lineSpacing = 0); // 0 lines: as many as needed
    void setColour(Colour colour);
    QColor colour() const { return colour_(Pal::of(this)); }
    // The lines as drawn.
    QStringList lines() const;
    // `text` broken at word boundaries into lines `width` wide, at most
    // `maxLines` of them (0: no limit), the last one cut with an ellipsis.
    static QStringList breakLines(const QString& text, const QFont& font, qreal width, int maxLines);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    QFont font_;
    Colour colour_;
    qreal wrap_ = 0;
    int maxLines_ = 0;
    qreal spacing_ = 0;
    std::vector<QStaticText> shaped_; // the lines as laid out; empty until the next paint
};
