#include "ui/Nudges.h"

#include "core/Log.h"
#include "ui/Motion.h"
#include "ui/ZVCard.h"

Nudges& Nudges::shared()
{
    static Nudges* const instance = new Nudges; // lives for the whole process
    return *instance;
}

Nudges::Nudges(Later& later, Screens screens)
    : later_(later)
    , screens_(std::move(screens))
{
}

Nudges::~Nudges()
{
    autoClose_.reset();
    delete panel_;
}

NudgeView* Nudges::view() const
{
    return panel_ ? qobject_cast<NudgeView*>(panel_->content()) : nullptr;
}

std::optional<QPoint> Nudges::place(QSize size, const std::vector<ScreenArea>& screens,
                                    const std::optional<QRect>& avoid)
{
    if (screens.empty())
        return std::nullopt;
    const QRect v = screens.front().visible;
    const int x = v.x() + v.width() - size.width() + 4;
    int y = v.y() - 8;
    if (avoid && avoid->intersects(QRect(QPoint(x, y), size)))
        y = avoid->y() + avoid->height() - 8;
    return QPoint(x, y);
}

void Nudges::show(Nudge nudge)
{
    if (panel_ && priority_ > nudge.priority) {
        // Dropped, not queued; the log keeps a trace of what the user never saw.
        slog(QStringLiteral("nudge: dropped %1 under %2").arg(nudge.kind, kind_.value_or(QString())));
        return;
    }
    dismiss(false);

    QPointer<Nudges> self(this);
    std::vector<NudgeButton> wrapped;
    for (NudgeButton& b : nudge.buttons) {
        wrapped.push_back({b.title, b.primary, [self, action = std::move(b.action)] {
                               if (self)
                                   self->dismiss(false);
                               if (action)
                                   action();
                           }});
    }
    const NudgeView::Tag tag = NudgeView::tag(nudge.kind);
    auto* view = new NudgeView(nudge.icon, nudge.title, nudge.message, std::move(wrapped), nudge.stacked, tag.text,
                               tag.tone, [self] {
                                   if (self)
                                       self->dismiss(true);
                               });

    auto* panel = new FloatingPanel;
    panel->setContent(view);
    // Only the card takes clicks; its glow and shadow margin is the desktop's.
    panel->setShape([view] { return FloatingPanel::rounded(view->card()->geometry(), 14); });
    const QSize size = panel->fittingSize();
    panel->resize(size);
    if (auto at = place(size, screens_(), avoid ? avoid() : std::nullopt))
        panel->move(*at);
    panel->fadeIn(Motion::reduced() ? 0.05 : 0.18);

    panel_ = panel;
    kind_ = nudge.kind;
    priority_ = nudge.priority;
    onTimeout_ = std::move(nudge.onTimeout);
    if (nudge.timeout) {
        autoClose_ = later_.after(*nudge.timeout, [self] {
            if (self)
                self->dismiss(true);
        });
    }
}

void Nudges::dismiss(bool runTimeout)
{
    if (autoClose_) {
        autoClose_->cancel();
        autoClose_.reset();
    }
    if (panel_) {
        panel_->hide();
        panel_->deleteLater();
        panel_.clear();
    }
    kind_.reset();
    priority_ = 0;
    auto handler = std::move(onTimeout_);
    onTimeout_ = nullptr;
    if (runTimeout && handler)
        handler();
}

void Nudges::dismissKind(const QString& kind)
{
    if (kind_ && *kind_ == kind)
        dismiss(false);
}
