#pragma once

#include <QRect>
#include <QWidget>
#include <functional>

// The popover's window: a frameless pop-up, so it takes the keyboard while
// shown and closes on a click anywhere else. Keys go to onKey first; what it
// does not handle gets the standard handling.
class KeyPanel : public QWidget {
    Q_OBJECT
public:
    explicit KeyPanel(QWidget* parent = nullptr);

    std::function<bool(const QKeyEvent&)> onKey;
    // Whenever the panel goes away, also when a click outside closed it.
    std::function<void()> onHidden;
    // Where the popover hangs from, in global coordinates: a click on it that
    // closes the panel is not passed on, so it does not open it again at once.
    QRect anchor;
    // The transparent border around the card: a press there counts as outside.
    int margin = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};
