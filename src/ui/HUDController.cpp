#include "ui/HUDController.h"

#include "ui/HUDView.h"
#include "ui/Motion.h"

#include <QRegularExpression>

HUDController::HUDController(QSettings& defaults, Screens screens)
    : d_(defaults)
    , screens_(std::move(screens))
{
    QPointer<HUDController> self(this);
    model_.modeChanged = [self](HUDModel::Mode mode) {
        if (!self)
            return;
        // The card is never remembered: the next session opens the pill.
        self->d_.setValue(modeKey, HUDModel::modeName(mode == HUDModel::Mode::card ? HUDModel::Mode::pill : mode));
    };
}

HUDController::~HUDController()
{
    delete panel_;
}

HUDView* HUDController::view() const
{
    return panel_ ? qobject_cast<HUDView*>(panel_->content()) : nullptr;
}

QString HUDController::cornerText(QPoint corner)
{
    return QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y());
}

std::optional<QPoint> HUDController::parseCorner(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(-?\\d{1,9})\\s*,\\s*(-?\\d{1,9})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return QPoint(m.captured(1).toInt(), m.captured(2).toInt());
}

QPoint HUDController::anchor(std::optional<QPoint> stored, HUDModel::Mode mode, const std::vector<ScreenArea>& screens)
{
    std::optional<QPoint> a;
    if (stored) {
        for (const ScreenArea& s : screens) {
            if (QRectF(s.frame).adjusted(-4, -4, 4, 4).contains(QPointF(*stored))) {
                a = stored;
                break;
            }
        }
    }
    if (!a) {
        const QRect v = screens.empty() ? QRect() : screens.front().visible;
        a = QPoint(v.x() + v.width() - 360, v.y() + 2);
    }
    if (mode == HUDModel::Mode::dot) {
        const ScreenArea* on = nullptr;
        for (const ScreenArea& s : screens) {
            if (QRectF(s.frame).contains(QPointF(*a))) {
                on = &s;
                break;
            }
        }
        if (!on && !screens.empty())
            on = &screens.front();
        if (on)
            a->setX(on->visible.x() + on->visible.width() + 6);
    }
    return *a;
}

void HUDController::show(const QDateTime& started, bool mic)
{
    model_.setStarted(started);
    model_.setMicOk(mic);
    model_.clearFeed();
    model_.setMode(HUDModel::modeFromName(d_.value(modeKey).toString()).value_or(HUDModel::Mode::pill));
    if (!panel_)
        make();
    fit();
    panel_->fadeIn(Motion::reduced() ? 0.05 : 0.25);
}

void HUDController::hide()
{
    if (panel_)
        panel_->fadeOut(Motion::reduced() ? 0.05 : 0.2);
}

std::optional<QRect> HUDController::frame() const
{
    if (!panel_ || !panel_->isVisible())
        return std::nullopt;
    return panel_->geometry();
}

void HUDController::make()
{
    panel_ = new FloatingPanel;
    panel_->setDraggable(true);
    auto* view = new HUDView(model_);
    panel_->setContent(view);
    // Only the capsule, the circle or the card takes clicks.
    panel_->setShape([view] { return view->paintedShape(); });
    connect(panel_, &FloatingPanel::tapped, view, &HUDView::tap);
    connect(panel_, &FloatingPanel::dragged, this, &HUDController::storeCorner);
    // The view has laid out the change by then: the panel takes its size at
    // once, from its corner, in one step.
    connect(view, &HUDView::refreshed, this, &HUDController::fit);
}

void HUDController::fit()
{
    if (!panel_ || !panel_->content())
        return;
    const QSize size = panel_->fittingSize();
    const QPoint a = anchor(parseCorner(d_.value(cornerKey).toString()), model_.mode(), screens_());
    const QRect frame(FloatingPanel::originFor(a, size), size);
    if (panel_->geometry() != frame)
        panel_->setGeometry(frame);
    panel_->reshape();
}

void HUDController::storeCorner()
{
    // The dot's place follows from the corner; it is never chosen.
    if (!panel_ || model_.mode() == HUDModel::Mode::dot)
        return;
    const QRect g = panel_->geometry();
    d_.setValue(cornerKey, cornerText(QPoint(g.x() + g.width(), g.y())));
}
