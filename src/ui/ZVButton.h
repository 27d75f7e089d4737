#pragma once

#include <QAbstractButton>
#include <QPointer>

class Tween;

// The kit's button: one of four looks, a minimum height, an optional full
// width and selected outline. Pressed, its fill darkens by 0.06 per channel and
// it shrinks to 0.97 (not with reduced motion), animated. Its label is a text
// with an optional symbol before it, or any widget. The whole rectangle,
// padding included, takes clicks; connect to clicked().
class ZVButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { primary, ghost, quiet, danger };
    struct Look {
        Kind kind = Kind::ghost;
        qreal height = 28; // a minimum: a taller label makes a taller button
        bool full = false; // take the whole width offered; a long text is then cut
        bool selected = false;
        bool leading = false; // the label at the leading edge rather than centred
        bool operator==(const Look&) const = default;
    };

    explicit ZVButton(const QString& text, QWidget* parent = nullptr);
    ZVButton(const QString& text, Look look, QWidget* parent = nullptr);

    Look look() const { return look_; }
    void setLook(const Look& look);
    QString symbol() const { return symbol_; }
    // A symbol name drawn before the text (or alone when the text is empty).
    void setSymbol(const QString& name);
    // Shows `label` centred in place of the text and symbol; clicks pass through
    // it to the button. It may take its colour from foreground().
    void setLabel(QWidget* label);

    // The look's colours in the button's current palette.
    QColor foreground() const;
    QColor fill() const; // before the pressed darkening
    QColor outline() const;
    qreal outlineWidth() const { return look_.selected ? 1.5 : 1; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QSizeF labelSize() const;
    void applyLook();

    Look look_;
    QString symbol_;
    QPointer<QWidget> label_;
    Tween* press_;
    bool shrinks_ = true; // read from Motion::reduced when the pressed state changes
};
