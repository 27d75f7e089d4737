#include "ui/HUDView.h"

#include "core/Clock.h"
#include "core/Fmt.h"
#include "platform/Wording.h"
#include "ui/FeedRow.h"
#include "ui/Orb.h"
#include "ui/PaintButton.h"
#include "ui/PalText.h"
#include "ui/ShadowEffect.h"
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
    connect(&m_, &HUDModel::switching, this, [this] { switching_ = true; });
    connect(&m_, &HUDModel::changed, this, &HUDView::rebuild);
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &HUDView::tick);
    rebuild();
}

void HUDView::paintEvent(QPaintEvent*)
{
    if (auto* capsule = dynamic_cast<Capsule*>(body_.data()); capsule && !capsule->isHidden()) {
        QPainter painter(this);
        capsule->paintShadow(painter);
    }
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

QList<QWidget*> HUDView::feedRows() const
{
    QList<QWidget*> out;
    if (feed_)
        for (auto* row : feed_->findChildren<FeedRow*>(Qt::FindDirectChildrenOnly))
            out << row;
    return out;
}

void HUDView::rebuild()
{
    const bool switched = switching_;
    switching_ = false;
    // Entries that drop out of a card that stays fade out where they were.
    if (body_ && feed_ && m_.mode() == Mode::card && !switched && !Orb::snapshot()) {
        for (QWidget* row : feedRows()) {
            const QUuid id = static_cast<FeedRow*>(row)->item().id;
            if (std::none_of(m_.feed().begin(), m_.feed().end(), [&](const FeedItem& f) { return f.id == id; }))
                Transition::leave(row, this, Motion::spring());
        }
    }
    if (body_) {
        // Deleted later: the change may come from a click on one of its buttons.
        layout()->removeWidget(body_);
        body_->hide();
        body_->deleteLater();
    }
    clocks_.clear();
    dot_ = nullptr;
    collapse_ = wrapUp_ = pin_ = voice_ = hide_ = nullptr;
    status_ = empty_ = nullptr;
    switch (m_.mode()) {
    case Mode::dot:
        shownFeed_.reset();
        body_ = buildDot();
        break;
    case Mode::pill:
        shownFeed_.reset();
        body_ = buildPill();
        break;
    case Mode::card:
        body_ = buildCard();
        break;
    }
    layout()->addWidget(body_);
    if (switched && !Orb::snapshot()) {
        // The new layout grows out of the remembered corner, which stays put.
        Transition::enter(this, {0, 0.94, 0}, Motion::spring(), PoseEffect::Anchor::topRight);
    }
    if (clocks_.isEmpty() || Orb::snapshot())
        ticker_.stop();
    else if (!ticker_.isActive())
        ticker_.start();
}

PalText* HUDView::elapsedText()
{
    auto* t = new PalText(elapsed(), ZVFont::mono(12, QFont::DemiBold), [](const Pal& p) { return p.tx2; });
    clocks_ << t;
    return t;
}

void HUDView::tick()
{
    const QString now = elapsed();
    for (auto& t : clocks_)
        if (t)
            t->setText(now);
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
    status_->setToolTip(statusHelp(m_));
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
    const bool listening = m_.listening();
    voice_ = new ZVButton(listening ? QStringLiteral("Done") : QStringLiteral("Voice"),
                          {listening ? ZVButton::Kind::primary : ZVButton::Kind::ghost, 28});
    voice_->setSymbol(listening ? QStringLiteral("waveform.circle.fill") : QStringLiteral("waveform"));
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
    if (m_.feed().empty()) {
        empty_ = new PalText(QStringLiteral("Watching your screen and listening. What Zelvan picks up shows here."),
                             ZVFont::sans(12), [](const Pal& p) { return p.tx3; });
        empty_->setWrap(FeedRow::width);
        rows->addWidget(empty_);
    }
    std::vector<QUuid> ids;
    for (size_t i = 0; i < m_.feed().size(); ++i) {
        const FeedItem& item = m_.feed()[i];
        auto* feedRow = new FeedRow(item, std::max(0.25, 1 - 0.16 * double(i)));
        rows->addWidget(feedRow);
        ids.push_back(item.id);
        // A new entry in a card already on screen moves in from the top, fading in.
        if (shownFeed_ && std::find(shownFeed_->begin(), shownFeed_->end(), item.id) == shownFeed_->end())
            Transition::enter(feedRow, {0, 1, 1}, Motion::spring());
    }
    shownFeed_ = ids;
    feedBox->addWidget(feed_);
    main->addLayout(feedBox);

    auto* card = new ZVCard(content, 16, true);
    card->setFixedWidth(350);
    return card;
}
