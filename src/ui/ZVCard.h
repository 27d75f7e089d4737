#pragma once

#include <QWidget>
#include <memory>

class KeptShadow;

// The kit's container surface around one content widget: a rounded `bg` fill
// (with a faint accent glow from the top-left corner in the dark scheme), a
// 1-point outline, the content clipped to the shape, and a drop shadow. The
// card is exactly as large as its content; callers pad their content.
class ZVCard : public QWidget {
    Q_OBJECT
public:
    explicit ZVCard(QWidget* content, qreal radius = 14, bool glow = false, QWidget* parent = nullptr);
    ~ZVCard() override;

    QWidget* content() const { return content_; }
    // The content keeps clear of the rounded edge, so nothing needs clipping:
    // the card then carries no graphics effect, and a child that moves (an
    // orb) repaints only itself instead of the whole card. Its shadow, blurred
    // once per size and kept, is drawn by the parent through paintShadow(),
    // in the room the parent leaves around the card.
    void setContentInside();
    void paintShadow(QPainter& parentPainter);
    qreal radius() const { return radius_; }
    bool glow() const { return glow_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* content_;
    bool inside_ = false;
    std::unique_ptr<KeptShadow> shadow_;
    qreal radius_;
    bool glow_;
};
