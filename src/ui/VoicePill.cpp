#include "ui/VoicePill.h"

#include "core/Brand.h"
#include "ui/PalText.h"
#include "ui/ZVFont.h"

#include <QHBoxLayout>
#include <QPainter>

namespace {

constexpr int maxTextWidth = 420;

// A filled circle whose colour is read on every paint.
class StateDot : public QWidget {
public:
    explicit StateDot(std::function<QColor()> colour)
        : colour_(std::move(colour))
    {
        setFixedSize(8, 8);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_());
        painter.drawEllipse(QRectF(rect()));
    }

private:
    std::function<QColor()> colour_;
};

} // namespace

void VoicePill::Model::set(bool listening, const QString& text)
{
    listening_ = listening;
    text_ = text;
    changed();
}

void VoicePill::Model::setText(const QString& text)
{
    text_ = text;
    changed();
}

QString VoicePill::Model::shown() const
{
    if (!text_.isEmpty())
        return text_;
    return listening_ ? QStringLiteral("Listening…") : QStringLiteral("Didn’t catch that");
}

VoicePill::PillView::PillView(Model& m, QWidget* parent)
    : QWidget(parent)
    , m_(m)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 9, 14, 9);
    row->setSpacing(8);
    row->setSizeConstraint(QLayout::SetFixedSize);
    dot_ = new StateDot([this] { return dotColour(); });
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    label_ = new PalText(m_.shown(), ZVFont::sans(13, QFont::Medium), [](const Pal&) { return QColor(Qt::white); });
    label_->setWrap(maxTextWidth, 2);
    row->addWidget(label_, 0, Qt::AlignVCenter);
}

QColor VoicePill::PillView::dotColour() const
{
    return m_.listening() ? Brand::red() : Brand::lime();
}

void VoicePill::PillView::refresh()
{
    label_->setText(m_.shown());
    dot_->update();
    layout()->activate();
}

void VoicePill::PillView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal r = box.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Brand::bg());
    painter.drawRoundedRect(box, r, r);
    QColor line = Brand::lime();
    line.setAlphaF(0.35f);
    painter.setPen(QPen(line, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, r, r);
}

VoicePill::VoicePill(Later& later, Screens screens)
    : later_(later)
    , screens_(std::move(screens))
{
    model_.changed = [this] {
        if (auto* v = view())
            v->refresh();
    };
}

VoicePill::~VoicePill()
{
    hideWork_.reset();
    delete panel_;
}

VoicePill::PillView* VoicePill::view() const
{
    return panel_ ? static_cast<PillView*>(panel_->content()) : nullptr;
}

std::optional<QPoint> VoicePill::place(QSize size, const std::vector<ScreenArea>& screens)
{
    if (screens.empty())
        return std::nullopt;
    const QRect v = screens.front().visible;
    return QPoint(v.x() + (v.width() - size.width()) / 2, v.y() + 10);
}

void VoicePill::show(bool listening, const QString& text, std::optional<double> hideAfter)
{
    model_.set(listening, text);
    if (hideWork_)
        hideWork_->cancel();
    if (!panel_) {
        panel_ = new FloatingPanel(true);
        auto* view = new PillView(model_);
        panel_->setContent(view);
        // The capsule: without a compositor its corners would show black.
        panel_->setShape([view] { return FloatingPanel::rounded(view->geometry(), view->height() / 2.0); });
    }
    layout();
    panel_->setWindowOpacity(1);
    panel_->show();
    // No window manager stacks it: it goes on top itself.
    panel_->raise();
    if (hideAfter) {
        QPointer<VoicePill> self(this);
        hideWork_ = later_.after(*hideAfter, [self] {
            if (self && self->panel_)
                self->panel_->hide();
        });
    }
}

void VoicePill::update(const QString& text)
{
    model_.setText(text);
    layout();
}

void VoicePill::hide()
{
    if (hideWork_)
        hideWork_->cancel();
    if (panel_)
        panel_->hide();
}

void VoicePill::layout()
{
    if (!panel_ || !panel_->content())
        return;
    const auto screens = screens_();
    if (screens.empty())
        return;
    panel_->content()->adjustSize();
    const QSize size = panel_->fittingSize();
    if (auto at = place(size, screens))
        panel_->setGeometry(QRect(*at, size));
}
