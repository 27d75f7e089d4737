#pragma once

#include "ui/Pal.h"

#include <QAbstractButton>
#include <QFont>
#include <QTimer>
#include <QWidget>
#include <functional>

class QLayout;

// Small painted pieces the popover is built from. Their colours are functions
// of the palette, read on every paint, so a change of scheme shows at once.
namespace PopoverBits {

using Colour = std::function<QColor(const Pal&)>;

// `role` at an opacity.
Colour faded(Colour role, qreal opacity);

// A text on one line cut with an ellipsis, or wrapped over as many lines as it needs.
class Text : public QWidget {
public:
    enum class Mode { elide, wrap };
    Text(const QString& text, const QFont& font, Colour colour, Mode mode = Mode::elide, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return mode_ == Mode::wrap; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    QFont font_;
    Colour colour_;
    Mode mode_;
};

// A filled circle, or a rounded square.
class Dot : public QWidget {
public:
    Dot(qreal size, Colour colour, qreal cornerRadius = -1, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal size_;
    Colour colour_;
    qreal corner_; // negative: a circle
};

// A symbol of the icon font, optionally turned by a quarter.
class Glyph : public QWidget {
public:
    Glyph(const QString& symbol, qreal size, Colour colour, bool turned = false, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    bool turned() const { return turned_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString symbol_;
    qreal size_;
    Colour colour_;
    bool turned_;
};

// A rounded surface around a layout, filled and outlined by palette roles; it
// takes clicks only when given an action. Selected, it uses its selected look.
class Box : public QAbstractButton {
public:
    struct Look {
        qreal radius = 10;
        Colour fill;
        Colour outline;
        Colour selectedFill;    // unset: the fill
        Colour selectedOutline; // unset: the outline
    };
    Box(Look look, QLayout* content, std::function<void()> action = {}, QWidget* parent = nullptr);

    bool selected() const { return selected_; }
    void setSelected(bool on);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    Look look_;
    bool selected_ = false;
    bool inert_ = true;
};

// A small ring turning while shown (still under reduced motion).
class Spinner : public QWidget {
public:
    explicit Spinner(Colour colour, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    Colour colour_;
    QTimer timer_;
    int step_ = 0;
};

// The record mark of the "Kick in" button: a red dot in a faint red ring.
class RecordMark : public QWidget {
public:
    explicit RecordMark(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

// Shrinks `button` to 96 % about its centre while it is held down, springing
// back on release; never under reduced motion. `button` keeps no graphics
// effect of its own.
void pressShrinks(QAbstractButton* button);

// A widget that takes all the width it is offered: the label of a full-width
// button, whose layout then spreads over the whole button.
class Wide : public QWidget {
public:
    explicit Wide(QLayout* content, QWidget* parent = nullptr);
    QSize sizeHint() const override;
};

} // namespace PopoverBits
