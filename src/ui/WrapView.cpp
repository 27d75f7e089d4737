#include "ui/WrapView.h"

#include "ui/Pal.h"
#include "ui/Spinner.h"
#include "ui/SystemLook.h"
#include "ui/WebPage.h"
#include "ui/WrapModel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using SystemLook::Style;

namespace {

// The brand's slash in the palette's accent, read on every paint: the bright
// lime on dark, its darker kin on light, where lime would hardly show.
class AccentSlash : public QWidget {
public:
    AccentSlash()
    {
        font_ = SystemLook::font(Style::body);
        font_.setPixelSize(22);
        font_.setWeight(QFont::ExtraBold);
        setObjectName(QStringLiteral("slash"));
    }
    QSize sizeHint() const override
    {
        const QFontMetrics fm(font_);
        return {fm.horizontalAdvance(u'/') + 2, fm.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setFont(font_);
        p.setPen(Pal::of(this).ac);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("/"));
    }

private:
    QFont font_;
};

} // namespace

WrapView::WrapView(WrapModel& model, QWidget* parent)
    : QWidget(parent)
    , m_(&model)
{
    setFixedSize(sizeHint());
    setAutoFillBackground(true); // a window of its own: its own background
    SystemLook::follow(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->addWidget(new AccentSlash);
    header->addWidget(SystemLook::label(QStringLiteral("Your day"), Style::title2));
    header->addStretch(1);
    spinner_ = new Spinner(16);
    header->addWidget(spinner_);
    column->addLayout(header);

    phase_ = SystemLook::label({});
    SystemLook::secondary(phase_);
    column->addWidget(phase_);

    error_ = SystemLook::label({});
    SystemLook::tint(error_, SystemLook::red());
    SystemLook::wrap(error_);
    column->addWidget(error_);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sections_ = new QWidget;
    sections_->setAutoFillBackground(false);
    list_ = new QVBoxLayout(sections_);
    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(12);
    list_->setAlignment(Qt::AlignTop);
    scroll->setWidget(sections_);
    scroll->viewport()->setAutoFillBackground(false);
    column->addWidget(scroll, 1);

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    board_ = new QPushButton(QStringLiteral("Open board"));
    board_->setDefault(true);
    connect(board_, &QPushButton::clicked, this, &WrapView::openBoard);
    footer->addWidget(board_);
    close_ = new QPushButton(QStringLiteral("Close"));
    close_->setAutoDefault(false);
    // This view's own window, not whichever window has the focus.
    connect(close_, &QPushButton::clicked, this, [this] { window()->close(); });
    footer->addWidget(close_);
    column->addLayout(footer);

    connect(&model, &WrapModel::changed, this, &WrapView::refresh);
    refresh();
}

void WrapView::refresh()
{
    if (!m_)
        return;
    const WrapModel& m = *m_;
    spinner_->setVisible(m.running());
    phase_->setVisible(m.running());
    phase_->setText(m.phase());
    error_->setVisible(m.error().has_value());
    error_->setText(m.error().value_or(QString()));
    board_->setVisible(m.board.has_value());

    while (QLayoutItem* item = list_->takeAt(0)) {
        if (QWidget* w = item->widget())
            delete w;
        delete item;
    }
    if (m.summary()) {
        auto* summary = SystemLook::label(*m.summary());
        SystemLook::wrap(summary);
        summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        list_->addWidget(summary);
    }
    const auto section = [this](const QString& heading, const QString& marker, const QStringList& items) {
        if (items.isEmpty())
            return;
        list_->addWidget(SystemLook::label(heading, Style::headline));
        for (const QString& text : items) {
            auto* row = new QWidget;
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(0, 0, 0, 0);
            h->addWidget(SystemLook::label(marker), 0, Qt::AlignTop);
            auto* label = SystemLook::label(text);
            SystemLook::wrap(label);
            h->addWidget(label, 1, Qt::AlignTop);
            list_->addWidget(row);
        }
    };
    section(QStringLiteral("Highlights"), QStringLiteral("\u2022"), m.highlights());
    section(QStringLiteral("Tomorrow"), QStringLiteral("\u2192"), m.tomorrow());
    QStringList titles;
    for (const auto& card : m.cards())
        titles << card.title;
    section(QStringLiteral("Follow-ups added to your inbox"), QStringLiteral("\u2610"), titles);
    list_->addStretch(1); // spare height below the rows, not between them
    SystemLook::relayout(this);
}

void WrapView::openBoard()
{
    if (m_ && m_->board)
        WebPage::open(*m_->board);
}

void WrapView::keyPressEvent(QKeyEvent* event)
{
    // "Open board" is the window's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && board_->isVisible()) {
        openBoard();
        return;
    }
    QWidget::keyPressEvent(event);
}
