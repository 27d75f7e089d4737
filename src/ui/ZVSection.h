#pragma once

#include <QWidget>
#include <optional>

// The header line over a group of rows: "//", the title in capitals, an
// optional trailing text in its own case, then empty space to the right edge.
class ZVSection : public QWidget {
    Q_OBJECT
public:
    explicit ZVSection(const QString& title, std::optional<QString> trailing = std::nullopt, QWidget* parent = nullptr);

    QString title() const { return title_; }
    std::optional<QString> trailing() const { return trailing_; }
    QString shownTitle() const { return title_.toUpper(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString title_;
    std::optional<QString> trailing_;
};
