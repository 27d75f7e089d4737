#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class Spinner;
class WrapModel;

// The end-of-day window's content, 480 × 460: the header with a spinner and the
// step while the summary is prepared, then the summary (selectable), the
// highlights, tomorrow's items and the follow-up cards, and "Open board" /
// "Close". Reads the model and writes nothing back; every server text is shown
// as plain text.
class WrapView : public QWidget {
    Q_OBJECT
public:
    explicit WrapView(WrapModel& model, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {480, 460}; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();
    void openBoard();

    QPointer<WrapModel> m_;
    Spinner* spinner_;
    QLabel* phase_;
    QLabel* error_;
    QWidget* sections_;
    QVBoxLayout* list_;
    QPushButton* board_;
    QPushButton* close_;
};
