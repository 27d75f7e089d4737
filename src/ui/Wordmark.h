#pragma once

#include <QWidget>

// The product's name set as type: "ZEL/VAN", the slash heavy and in the accent
// (lime on dark, the darker green on light). Always at its full width.
class Wordmark : public QWidget {
    Q_OBJECT
public:
    explicit Wordmark(qreal size = 15, QWidget* parent = nullptr);

    qreal size() const { return size_; }
    qreal tracking() const { return size_ * 0.04; }
    QString shownText() const;
    QColor slashColour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont letterFont() const;
    QFont slashFont() const;

    qreal size_;
};
