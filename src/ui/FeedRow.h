#pragma once

#include "core/FeedItem.h"

#include <QStaticText>
#include <QWidget>
#include <optional>
#include <vector>

// One line of the recording panel's feed: a dot and the kind's label in the
// kind's colour, then the text (in curly quotes for something heard) on at
// most two lines. Drawn at `opacity`, so older rows fade. Its texts are laid
// out and shaped once.
class FeedRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 326;

    FeedRow(const FeedItem& item, qreal opacity = 1, QWidget* parent = nullptr);

    const FeedItem& item() const { return item_; }
    qreal opacity() const { return opacity_; }
    // Older rows fade: the row's opacity moves with its place in the feed.
    void setOpacity(qreal opacity);
    QString label() const { return FeedItem::label(item_.kind).toUpper(); }
    QString shownText() const;
    QStringList lines() const;
    // The kind's colour in the row's palette.
    QColor colour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal textLeft() const;

    FeedItem item_;
    qreal opacity_;
    struct Shaped {
        qreal textLeft = 0;
        QStringList lines;
        QStaticText label;
        std::vector<QStaticText> texts;
    };
    const Shaped& shaped() const;
    mutable std::optional<Shaped> shaped_;
};
