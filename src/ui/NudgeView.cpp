#include "ui/NudgeView.h"

#include "platform/Wording.h"
#include "ui/PaintButton.h"
#include "ui/PalText.h"
#include "ui/Symbols.h"
#include "ui/TextRun.h"
#include "ui/ZVButton.h"
#include "ui/ZVCard.h"
#include "ui/ZVFont.h"

#include <QHBoxLayout>
#include <QHash>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int cardWidth = 330;
constexpr int outside = 16; // room for the glow and shadow
constexpr int inside = 14;

const QString dotIcon = QStringLiteral("●");
const QString squareIcon = QStringLiteral("■");
const QString slash = QStringLiteral("/");

QFont slashFont()
{
    return ZVFont::sans(15, QFont::ExtraBold);
}

// The mark at the top left: a red dot, a red square, or the accent slash.
class Mark : public QWidget {
public:
    explicit Mark(const QString& icon)
        : icon_(icon)
    {
        if (icon_ == dotIcon || icon_ == squareIcon)
            setFixedSize(8, 8);
        else
            setFixedSize(int(std::ceil(TextRun::width(slash, slashFont()))),
                         int(std::ceil(TextRun::height(slashFont()))));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Pal& p = Pal::of(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(p.red);
        if (icon_ == dotIcon)
            painter.drawEllipse(QRectF(rect()));
        else if (icon_ == squareIcon)
            painter.drawRoundedRect(QRectF(rect()), 2, 2);
        else
            TextRun::draw(painter, 0, 0, slash, slashFont(), p.dark ? p.acFill : p.ac);
    }

private:
    QString icon_;
};

} // namespace

NudgeView::Tag NudgeView::tag(const QString& kind)
{
    using T = ZVChip::Tone;
    static const QHash<QString, Tag> table = {
        {"call", {"Call", T::red}},
        {"callEnded", {"Call ended", T::red}},
        {"recording", {"Zelvan active", T::red}},
        {"streamError", {"Session stopped", T::red}},
        {"route", {"Session saved", T::accent}},
        {"card", {"Card", T::accent}},
        {"review", {"Review ready", T::accent}},
        {"voice", {"Voice", T::accent}},
        {"voiceCard", {"Voice", T::accent}},
        {"cardDone", {"Done", T::accent}},
        {"tipDone", {"Done", T::accent}},
        {"move", {"Move", T::silver}},
        {"filed", {"Filed", T::silver}},
        {"personalSoon", {"Personal", T::silver}},
        {"break", {"Coach", T::silver}},
        {"workout", {"Coach", T::silver}},
        {"wrap", {"Coach", T::silver}},
        {"preview", {"Coach", T::silver}},
        {"tip", {"Live tip", T::amber}},
        {"upload", {"Saved on this Mac", T::amber}},
    };
    return table.value(kind, Tag{});
}

NudgeView::NudgeView(const QString& icon, const QString& title, const std::optional<QString>& message,
                     std::vector<NudgeButton> buttons, bool stacked, const std::optional<QString>& tag,
                     ZVChip::Tone tone, std::function<void()> close, QWidget* parent)
    : QWidget(parent)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(inside, inside, inside, inside);
    column->setSpacing(10);
    const int textWidth = cardWidth - 2 * inside;

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    mark_ = new Mark(icon);
    header->addWidget(mark_, 0, Qt::AlignVCenter);
    if (tag) {
        chip_ = new ZVChip(Wording::shown(*tag), tone);
        header->addWidget(chip_, 0, Qt::AlignVCenter);
    }
    header->addStretch(1);
    close_ = new PaintButton(QSize(18, 18), [](QPainter& painter, const Pal& p, const QRectF& r) {
        QFont f = Symbols::font(9.5);
        f.setBold(true);
        painter.setFont(f);
        painter.setPen(p.tx3);
        painter.drawText(r, Qt::AlignCenter, Symbols::glyph(QStringLiteral("xmark")));
    });
    close_->setToolTip(QStringLiteral("Close"));
    connect(close_, &QAbstractButton::clicked, this, [close = std::move(close)] {
        if (close)
            close();
    });
    header->addWidget(close_, 0, Qt::AlignVCenter);
    column->addLayout(header);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    title_ = new PalText(title, ZVFont::sans(13.5, QFont::DemiBold), [](const Pal& p) { return p.tx; });
    title_->setWrap(textWidth);
    texts->addWidget(title_);
    if (message && !message->isEmpty()) {
        message_ = new PalText(*message, ZVFont::sans(12), [](const Pal& p) { return p.tx2; });
        message_->setWrap(textWidth, 0, 1.5);
        texts->addWidget(message_);
    }
    column->addLayout(texts);

    if (stacked) {
        auto* list = new QVBoxLayout;
        list->setSpacing(5);
        for (NudgeButton& b : buttons) {
            auto* button = new ZVButton(b.title,
                                        {.kind = b.primary ? ZVButton::Kind::primary : ZVButton::Kind::ghost,
                                         .height = 30,
                                         .full = true,
                                         .leading = true});
            connect(button, &QAbstractButton::clicked, this, [action = std::move(b.action)] {
                if (action)
                    action();
            });
            list->addWidget(button);
            buttons_.push_back(button);
        }
        if (buttons_.empty()) {
            auto* empty = new QWidget; // the empty column still takes its place
            empty->setFixedHeight(0);
            list->addWidget(empty);
        }
        column->addLayout(list);
    } else if (!buttons.empty()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addStretch(1);
        for (NudgeButton& b : buttons) {
            auto* button = new ZVButton(b.title, {b.primary ? ZVButton::Kind::primary : ZVButton::Kind::ghost, 28});
            connect(button, &QAbstractButton::clicked, this, [action = std::move(b.action)] {
                if (action)
                    action();
            });
            row->addWidget(button, 0, Qt::AlignVCenter);
            buttons_.push_back(button);
        }
        column->addLayout(row);
    }

    const bool glow = tone == ZVChip::Tone::accent || tone == ZVChip::Tone::red;
    card_ = new ZVCard(content, 14, glow);
    card_->setContentInside(); // padded 14; its shadow is drawn here
    card_->setFixedWidth(cardWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(outside, outside, outside, outside);
    outer->addWidget(card_);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void NudgeView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    card_->paintShadow(painter);
}
