#pragma once

#include <QWidget>

// A key cap for a keyboard shortcut: the text on a small rounded well. Mac key
// glyphs are shown as this desktop names the keys ("⌥⌘P" shows "Ctrl+Alt+P").
// Always at its full width.
class Kbd : public QWidget {
    Q_OBJECT
public:
    explicit Kbd(const QString& text, QWidget* parent = nullptr);

    QString text() const { return text_; }
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
};
