#include "ui/HUDView.h"

#include "core/Clock.h"
#include "core/Fmt.h"
#include "platform/Wording.h"
#include "ui/FeedRow.h"
#include "ui/Floating.h"
#include "ui/Orb.h"
#include "ui/PaintButton.h"
#include "ui/PalText.h"
#include "ui/ShadowEffect.h"
#include "ui/SystemLook.h"
#include "ui/TextRun.h"
#include "ui/Transition.h"
#include "ui/ZVButton.h"
#include "ui/ZVCard.h"
#include "ui/ZVFont.h"
#include "ui/ZVSection.h"

#include <algorithm>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <cmath>

namespace {

using Mode = HUDModel::Mode;

// A filled circle in a palette colour.
class Dot : public QWidget {
public:
    Dot(qreal size, std::function<QColor(const Pal&)> colour, qreal opacity = 1)
        : colour_(std::move(colour))
        , opacity_(opacity)
    {
        setFixedSize(int(size), int(size));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(opacity_);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_(Pal::of(this)));
        painter.drawEllipse(QRectF(rect()));
    }

private:
    std::function<QColor(const Pal&)> colour_;
    qreal opacity_;
};

// A line 1 high in `ln`, across the width.
class Rule : public QWidget {
public:
    Rule() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Pal::of(this).ln); }
};

// The pill's capsule: `bg` with a faint accent outline. Its shadow is drawn
// beneath it by the view from an image kept until the size or palette changes:
// as an effect on the capsule it was blurred again, with every child drawn
// again, on each of the orb's frames. Presses fall through to the panel, which
// drags it or reports a tap.
class Capsule : public QWidget {
public:
    static ShadowEffect::Shadow shadowOf(const Pal& p) { return {p.shadow, 12, QPointF(0, 6)}; }

    // Draws the shadow where an effect on the capsule would put it.
    void paintShadow(QPainter& painter)
    {
        const Pal& p = Pal::of(this);
        const ShadowEffect::Shadow s = shadowOf(p);
        // The device's ratio: a snapshot draws at two pixels per point on any screen.
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
        const QList<QRgb> key = {p.shadow.rgba(), p.bg.rgba(), p.ac.rgba()};
        if (shadow_.isNull() || shadowFor_ != size() || shadowDpr_ != dpr || shadowKey_ != key) {
            margin_ = int(std::ceil((1.5 * s.radius + std::max(std::abs(s.offset.x()), std::abs(s.offset.y()))) * dpr))
                + 2;
            const QSize pixels(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
            QImage shape(pixels + QSize(2 * margin_, 2 * margin_), QImage::Format_ARGB32_Premultiplied);
            shape.fill(Qt::transparent);
            {
                QPainter pt(&shape);
                pt.translate(margin_, margin_);
                pt.scale(dpr, dpr);
                paintShape(pt, p);
            }
            shadow_ = ShadowEffect::blurredShadow(shape, s.colour, s.radius / 2 * dpr);
            shadow_.setDevicePixelRatio(dpr);
            shadowFor_ = size();
            shadowDpr_ = dpr;
            shadowKey_ = key;
        }
        painter.drawImage(QPointF(pos()) + s.offset - QPointF(margin_ / dpr, margin_ / dpr), shadow_);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paintShape(painter, Pal::of(this));
    }

private:
    void paintShape(QPainter& painter, const Pal& p) const
    {
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal r = box.height() / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(p.bg);
        painter.drawRoundedRect(box, r, r);
        QColor line = p.ac;
        line.setAlphaF(0.35f);
        painter.setPen(QPen(line, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box, r, r);
    }

    QImage shadow_;
    QSize shadowFor_;
    qreal shadowDpr_ = 0;
    QList<QRgb> shadowKey_;
    int margin_ = 0;
};

// "Wrap up" after a small rounded square, both in the button's own foreground.
class WrapUpLabel : public QWidget {
public:
    WrapUpLabel() { setFixedSize(sizeHint()); }
    QSize sizeHint() const override
    {
        return {int(std::ceil(8 + 5 + TextRun::width(text(), font()))), int(std::ceil(TextRun::height(font())))};
    }
    static QString text() { return QStringLiteral("Wrap up"); }
    static QFont font() { return ZVFont::sans(12.5, QFont::DemiBold); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        auto* button = qobject_cast<ZVButton*>(parentWidget());
        const QColor c = button ? button->foreground() : Pal::of(this).tx;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawRoundedRect(QRectF(0, (height() - 8) / 2.0, 8, 8), 2, 2);
        TextRun::draw(painter, 13, 0, text(), font(), c);
    }
};

QHBoxLayout* row(int spacing)
{
    auto* l = new QHBoxLayout;
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

QVBoxLayout* column(int spacing)
{
    auto* l = new QVBoxLayout;
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

} // namespace

HUDView::HUDView(HUDModel& model, QWidget* parent)
    : QWidget(parent)
    , m_(model)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 14, 14, 14);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    ticker_.setSingleShot(true);
    ticker_.setTimerType(Qt::PreciseTimer);
    connect(&ticker_, &QTimer::timeout, this, &HUDView::tick);
    // Every layout once; only the current one is shown.
    for (QWidget* body : {buildDot(), buildPill(), buildCard()}) {
        body->setVisible(false);
        outer->addWidget(body);
    }
    connect(&m_, &HUDModel::switching, this, [this] { switching_ = true; });
    connect(&m_, &HUDModel::changed, this, &HUDView::refresh);
    refresh();
}

void HUDView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (auto* capsule = dynamic_cast<Capsule*>(body_.data()); capsule && !capsule->isHidden())
        capsule->paintShadow(painter);
    if (auto* card = dynamic_cast<ZVCard*>(body_.data()))
        card->paintShadow(painter);
}

void HUDView::showEvent(QShowEvent*)
{
    scheduleTick();
}

void HUDView::hideEvent(QHideEvent*)
{
    ticker_.stop();
}

void HUDView::tap()
{
    if (m_.mode() == Mode::pill)
        m_.set(Mode::card);
}

QString HUDView::status(const HUDModel& m)
{
    if (m.hearing())
        return QStringLiteral("· HEARING");
    return m.micOk() ? QStringLiteral("· MIC ON") : QStringLiteral("· NO MIC");
}

QString HUDView::statusHelp(const HUDModel& m)
{
    if (m.hearing())
        return Wording::shown(QStringLiteral("Live speech recognition runs on this Mac only; nothing is stored."));
    return {};
}

QString HUDView::elapsed() const
{
    const qint64 ms = m_.started().msecsTo(Clock::current().now());
    return Fmt::clock(std::max<qint64>(0, ms) / 1000.0);
}

QRegion HUDView::paintedShape() const
{
    if (!body_)
        return {};
    const QRect r = body_->geometry();
    switch (m_.mode()) {
    case Mode::dot:
        return QRegion(r, QRegion::Ellipse);
    case Mode::pill:
        return FloatingPanel::rounded(r, r.height() / 2.0);
    case Mode::card:
        return FloatingPanel::rounded(r, 16);
    }
    return {};
}

QList<QWidget*> HUDView::feedRows() const
{
    QList<QWidget*> out;
    for (FeedRow* row : rows_)
        out << row;
    return out;
}

QWidget* HUDView::bodyFor(Mode mode) const
{
    switch (mode) {
    case Mode::dot:
        return dot_;
    case Mode::pill:
        return pill_;
    case Mode::card:
        return card_;
    }
    return nullptr;
}

void HUDView::refresh()
{
    const bool switched = switching_;
    switching_ = false;
    QWidget* next = bodyFor(m_.mode());
    // Entries come and go with movement only in a card already on screen.
    const bool animate = next == card_ && body_ == card_ && !switched && !Orb::snapshot();
    updateCard(animate);
    const QString now = elapsed();
    for (PalText* t : clocks_)
        t->setText(now);
    if (next != body_) {
        if (body_)
            body_->setVisible(false);
        next->setVisible(true);
        body_ = next;
        if (switched && !Orb::snapshot()) {
            // The new layout grows out of the remembered corner, which stays put.
            Transition::enter(this, {0, 0.94, 0}, Motion::spring(), PoseEffect::Anchor::topRight);
        }
    }
    // Nested layouts settle on later turns of the event loop; the panel takes
    // its size now, so lay everything out at once.
    SystemLook::relayout(this);
    scheduleTick();
    emit refreshed();
}

void HUDView::updateCard(bool animate)
{
    status_->setText(status(m_));
    status_->setToolTip(statusHelp(m_));
    const bool listening = m_.listening();
    voice_->setText(listening ? QStringLiteral("Done") : QStringLiteral("Voice"));
    voice_->setSymbol(listening ? QStringLiteral("waveform.circle.fill") : QStringLiteral("waveform"));
    ZVButton::Look look = voice_->look();
    look.kind = listening ? ZVButton::Kind::primary : ZVButton::Kind::ghost;
    voice_->setLook(look);
    updateFeed(animate);
}

void HUDView::updateFeed(bool animate)
{
    const std::vector<FeedItem>& feed = m_.feed();
    const auto inFeed = [&](const QUuid& id) {
        return std::any_of(feed.begin(), feed.end(), [&](const FeedItem& f) { return f.id == id; });
    };
    auto* rows = static_cast<QVBoxLayout*>(feed_->layout());
    empty_->setVisible(feed.empty());
    // Entries that dropped out fade where they were; the others stay the same widgets.
    for (auto it = rows_.begin(); it != rows_.end();) {
        FeedRow* row = *it;
        if (inFeed(row->item().id)) {
            ++it;
            continue;
        }
        if (animate)
            Transition::leave(row, this, Motion::spring());
        rows->removeWidget(row);
        row->hide();
        row->deleteLater();
        it = rows_.erase(it);
    }
    for (FeedRow* row : rows_)
        rows->removeWidget(row); // put back below in the feed's order
    std::vector<FeedRow*> ordered;
    for (size_t i = 0; i < feed.size(); ++i) {
        const FeedItem& item = feed[i];
        const qreal opacity = std::max(0.25, 1 - 0.16 * double(i));
        auto found = std::find_if(rows_.begin(), rows_.end(), [&](FeedRow* r) { return r->item().id == item.id; });
        FeedRow* row = found != rows_.end() ? *found : nullptr;
        const bool fresh = !row;
        if (fresh)
            row = new FeedRow(item, opacity);
        row->setOpacity(opacity);
        rows->insertWidget(int(i) + 1, row); // after the empty-feed text
        if (fresh) {
            row->setVisible(true);
            // A new entry in a card already on screen moves in from the top, fading in.
            if (animate)
                Transition::enter(row, {0, 1, 1}, Motion::spring());
        }
        ordered.push_back(row);
    }
    rows_ = std::move(ordered);
}

PalText* HUDView::elapsedText()
{
    auto* t = new PalText(elapsed(), ZVFont::mono(12, QFont::DemiBold), [](const Pal& p) { return p.tx2; });
    clocks_.push_back(t);
    return t;
}

void HUDView::scheduleTick()
{
    if (!isVisible() || m_.mode() == Mode::dot || Orb::snapshot()) {
        ticker_.stop();
        return;
    }
    // On the session's own second, so the shown time turns when a second is full.
    const qint64 ms = m_.started().msecsTo(Clock::current().now());
    const qint64 into = ms >= 0 ? ms % 1000 : 0;
    ticker_.start(int(1000 - into) + 5);
}

void HUDView::tick()
{
    const QString now = elapsed();
    bool wider = false;
    for (PalText* t : clocks_) {
        if (t->text() == now)
            continue;
        wider = wider || t->text().size() != now.size();
        t->setText(now);
    }
    scheduleTick();
    if (wider) {
        // 9:59 → 10:00 and 59:59 → 1:00:00 widen the pill and the card.
        SystemLook::relayout(this);
        emit refreshed();
    }
}

QWidget* HUDView::buildDot()
{
    dot_ = new PaintButton(QSize(22, 22), [](QPainter& painter, const Pal& p, const QRectF& r) {
        const QColor c = p.dark ? p.acFill : p.ac;
        const QPointF centre = r.center();
        painter.setPen(Qt::NoPen);
        painter.setBrush(p.bg);
        painter.drawEllipse(r);
        painter.setPen(QPen(p.ln2, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
        QColor ring = c;
        ring.setAlphaF(0.35f);
        painter.setPen(QPen(ring, 4));
        painter.drawEllipse(centre, 9, 9);
        painter.setPen(Qt::NoPen);
        painter.setBrush(c);
        painter.drawEllipse(centre, 5, 5);
    });
    dot_->setToolTip(QStringLiteral("Zelvan is recording — click to show"));
    connect(dot_, &QAbstractButton::clicked, this, [this] { m_.set(Mode::pill); });
    return dot_;
}

QWidget* HUDView::buildPill()
{
    auto* capsule = new Capsule;
    pill_ = capsule;
    capsule->setToolTip(QStringLiteral("Zelvan is recording — click for controls"));
    auto* line = row(9);
    line->setContentsMargins(6, 5, 12, 5);
    capsule->setLayout(line);
    line->addWidget(new Orb(22), 0, Qt::AlignVCenter);
    auto* title = row(0);
    title->addWidget(new PalText(QStringLiteral("Zelvan active"), ZVFont::sans(12.5, QFont::DemiBold),
                                 [](const Pal& p) { return p.tx; }),
                     0, Qt::AlignVCenter);
    title->addWidget(new PalText(QStringLiteral(" · "), ZVFont::sans(13), [](const Pal& p) { return p.tx3; }), 0,
                     Qt::AlignVCenter);
    line->addLayout(title);
    line->addWidget(elapsedText(), 0, Qt::AlignVCenter);
    line->addWidget(new Dot(
                        6, [](const Pal& p) { return p.red; }, 0.9),
                    0, Qt::AlignVCenter);
    return capsule;
}

QWidget* HUDView::buildCard()
{
    auto* content = new QWidget;
    auto* main = column(10);
    main->setContentsMargins(12, 12, 12, 12);
    content->setLayout(main);

    // Header.
    auto* header = row(10);
    header->addWidget(new Orb(40), 0, Qt::AlignVCenter);
    auto* titles = column(2);
    titles->addWidget(new PalText(QStringLiteral("Zelvan active"), ZVFont::sans(14, QFont::DemiBold),
                                  [](const Pal& p) { return p.tx; }));
    auto* state = row(6);
    state->addWidget(new Dot(6, [](const Pal& p) { return p.red; }), 0, Qt::AlignVCenter);
    state->addWidget(elapsedText(), 0, Qt::AlignVCenter);
    status_ = new PalText(status(m_), ZVFont::tracked(ZVFont::mono(9.5, QFont::DemiBold), 0.8),
                          [](const Pal& p) { return p.tx3; });
    state->addWidget(status_, 0, Qt::AlignVCenter);
    state->addStretch(1);
    titles->addLayout(state);
    header->addLayout(titles, 1);
    collapse_ = new ZVButton(QString(), {ZVButton::Kind::quiet, 24});
    collapse_->setSymbol(QStringLiteral("chevron.up"));
    collapse_->setToolTip(QStringLiteral("Collapse"));
    connect(collapse_, &QAbstractButton::clicked, this, [this] { m_.set(Mode::pill); });
    header->addWidget(collapse_, 0, Qt::AlignVCenter);
    main->addLayout(header);

    // Buttons.
    auto* buttons = row(6);
    wrapUp_ = new ZVButton(QString(), {ZVButton::Kind::danger, 28});
    wrapUp_->setLabel(new WrapUpLabel);
    wrapUp_->setAccessibleName(WrapUpLabel::text());
    connect(wrapUp_, &QAbstractButton::clicked, this, [this] { m_.stop(); });
    pin_ = new ZVButton(QStringLiteral("Pin"), {ZVButton::Kind::ghost, 28});
    pin_->setSymbol(QStringLiteral("pin"));
    pin_->setToolTip(Wording::shown(QStringLiteral("Pin a region (⌥⌘P)")));
    connect(pin_, &QAbstractButton::clicked, this, [this] { m_.pin(); });
    voice_ = new ZVButton(QStringLiteral("Voice"), {ZVButton::Kind::ghost, 28});
    voice_->setSymbol(QStringLiteral("waveform"));
    voice_->setToolTip(Wording::shown(QStringLiteral("Click, speak, click again (or hold ⌥⌘Space)")));
    connect(voice_, &QAbstractButton::clicked, this, [this] { m_.voice(); });
    hide_ = new ZVButton(QString(), {ZVButton::Kind::quiet, 28});
    hide_->setSymbol(QStringLiteral("eye.slash"));
    hide_->setToolTip(Wording::shown(QStringLiteral(
        "Hide: shrink to a dot at the screen edge. The menu bar still shows that Zelvan is recording.")));
    connect(hide_, &QAbstractButton::clicked, this, [this] { m_.set(Mode::dot); });
    buttons->addWidget(wrapUp_);
    buttons->addWidget(pin_);
    buttons->addWidget(voice_);
    buttons->addStretch(1);
    buttons->addWidget(hide_);
    main->addLayout(buttons);

    // Divider.
    main->addWidget(new Rule);

    // Feed.
    auto* feedBox = column(8);
    feedBox->addWidget(new ZVSection(QStringLiteral("Picking up")));
    feed_ = new QWidget;
    feed_->setFixedWidth(FeedRow::width);
    auto* rows = column(5);
    feed_->setLayout(rows);
    empty_ = new PalText(QStringLiteral("Watching your screen and listening. What Zelvan picks up shows here."),
                         ZVFont::sans(12), [](const Pal& p) { return p.tx3; });
    empty_->setWrap(FeedRow::width);
    rows->addWidget(empty_);
    feedBox->addWidget(feed_);
    main->addLayout(feedBox);

    auto* card = new ZVCard(content, 16, true);
    card->setContentInside(); // padded 12: the orb's frames repaint only the orb
    card->setFixedWidth(350);
    card_ = card;
    return card;
}
