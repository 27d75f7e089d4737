#pragma once

#include <QWidget>

// A bracketed capitals label in one of five tones: "[ CALL ]". The brackets are
// the chip: no background, border or padding. Always at its full width.
class ZVChip : public QWidget {
    Q_OBJECT
public:
    enum class Tone { plain, accent, red, amber, silver };

    explicit ZVChip(const QString& text, Tone tone = Tone::plain, QWidget* parent = nullptr);

    QString text() const { return text_; }
    Tone tone() const { return tone_; }
    QString shownText() const { return QStringLiteral("[ ") + text_.toUpper() + QStringLiteral(" ]"); }
    // The tone's colour in the chip's current palette.
    QColor colour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    Tone tone_;
};
