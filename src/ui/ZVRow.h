#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <functional>
#include <optional>

class Tween;

// The kit's clickable list row: an optional symbol, a title with an optional
// monospaced detail line under it, and an optional trailing widget at the right.
// Selected, it sits on `bg3` with an accent outline; under the pointer (and with
// an action) on `bg2`. A row without an action is disabled. Texts stay on one
// line and are cut with an ellipsis.
class ZVRow : public QAbstractButton {
    Q_OBJECT
public:
    struct Content {
        std::optional<QString> symbol;
        QString title;
        std::optional<QString> detail;
        bool selected = false;
        bool dim = false; // title in the tertiary text colour
    };

    ZVRow(Content content, std::function<void()> action, QWidget* trailing = nullptr, QWidget* parent = nullptr);

    const Content& content() const { return content_; }
    void setContent(Content content);
    void setAction(std::function<void()> action);
    QWidget* trailing() const { return trailing_; }
    bool hovered() const { return hover_; }

    // Colours of the current state in the row's palette.
    QColor highlight() const;
    QColor symbolColour() const;
    QColor titleColour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void setHover(bool on);
    qreal textHeight() const;

    Content content_;
    std::function<void()> action_;
    QPointer<QWidget> trailing_;
    bool hover_ = false;
    Tween* hoverFade_;
};
