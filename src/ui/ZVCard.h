#pragma once

#include <QWidget>

// The kit's container surface around one content widget: a rounded `bg` fill
// (with a faint accent glow from the top-left corner in the dark scheme), a
// 1-point outline, the content clipped to the shape, and a drop shadow. The
// card is exactly as large as its content; callers pad their content.
class ZVCard : public QWidget {
    Q_OBJECT
public:
    explicit ZVCard(QWidget* content, qreal radius = 14, bool glow = false, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }
    qreal radius() const { return radius_; }
    bool glow() const { return glow_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* content_;
    qreal radius_;
    bool glow_;
};
