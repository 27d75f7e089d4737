#pragma once

#include <QWidget>

class QTimer;

// A small indeterminate progress indicator: twelve spokes, one bright spoke
// turning while the spinner is visible. Stands still with reduced motion.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(int size = 16, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    int size_;
    int step_ = 0;
    QTimer* timer_;
};
