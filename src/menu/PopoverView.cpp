#include "menu/PopoverView.h"

#include "core/Fmt.h"
#include "menu/MenuModel.h"
#include "menu/PopoverBits.h"
#include "ui/Kbd.h"
#include "ui/Motion.h"
#include "ui/Orb.h"
#include "ui/Transition.h"
#include "ui/Wordmark.h"
#include "ui/ZVButton.h"
#include "ui/ZVCard.h"
#include "ui/ZVChip.h"
#include "ui/ZVFont.h"
#include "ui/ZVRow.h"
#include "ui/ZVSection.h"

#include <algorithm>
#include <QApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

using namespace PopoverBits;
using Rec = MenuState::Rec;

namespace {

constexpr int pad = 14;
constexpr int sectionGap = 12;

Colour role(QColor Pal::*field)
{
    return [field](const Pal& p) { return p.*field; };
}

QHBoxLayout* row(int spacing, QMargins margins = {})
{
    auto* l = new QHBoxLayout;
    l->setSpacing(spacing);
    l->setContentsMargins(margins);
    return l;
}

QVBoxLayout* column(int spacing, QMargins margins = {})
{
    auto* l = new QVBoxLayout;
    l->setSpacing(spacing);
    l->setContentsMargins(margins);
    return l;
}

QWidget* holding(QLayout* layout)
{
    auto* w = new QWidget;
    w->setLayout(layout);
    return w;
}

// The colour a button's label takes: the button's own ink, at an opacity.
Colour ink(ZVButton* button, qreal opacity = 1)
{
    return [button, opacity](const Pal&) {
        QColor c = button->foreground();
        c.setAlphaF(float(c.alphaF() * opacity));
        return c;
    };
}

// Too long for its room, the line breaks only between its parts.
QString countsText(const MenuState::Rec& rec)
{
    QString counts = QStringLiteral("%1\u00A0SHOTS · %2\u00A0PINS").arg(rec.shots).arg(rec.pins);
    if (!rec.mic)
        counts += QStringLiteral(" · NO\u00A0MIC");
    return counts;
}

// The dim line under a list cut short.
QVBoxLayout* moreLine(int n)
{
    auto* padded = column(0, QMargins(10, 4, 10, 4));
    padded->addWidget(new Text(MenuState::more(n), ZVFont::sans(12.5), role(&Pal::tx3)));
    return padded;
}

} // namespace

PopoverView::PopoverView(MenuModel& m, bool scroll, QWidget* parent)
    : PopoverView(m, scroll, new QWidget, parent)
{
}

PopoverView::PopoverView(MenuModel& m, bool scroll, QWidget* inside, QWidget* parent)
    : ZVCard(inside, 16, false, parent)
    , m_(m)
    , scroll_(scroll)
{
    holderLayout_ = column(0);
    holderLayout_->addStretch(1);
    if (scroll) {
        // The footer stays under the scrolled sections, so Quit is always in reach.
        scrollArea_ = new QScrollArea;
        footerSlot_ = new QWidget;
        footerSlot_->setObjectName(QStringLiteral("footer"));
        footerLayout_ = column(0, QMargins(pad, sectionGap, pad, pad));
        footerSlot_->setLayout(footerLayout_);
        auto* frame = column(0);
        frame->addWidget(scrollArea_);
        frame->addWidget(footerSlot_);
        inside->setLayout(frame);
        holder_ = new QWidget;
        holder_->setLayout(holderLayout_);
        scrollArea_->setFrameShape(QFrame::NoFrame);
        scrollArea_->setWidgetResizable(true);
        scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scrollArea_->setFocusPolicy(Qt::NoFocus);
        // The card's own surface shows through.
        scrollArea_->viewport()->setAutoFillBackground(false);
        scrollArea_->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
        scrollArea_->setWidget(holder_);
        holder_->setAutoFillBackground(false);
    } else {
        holder_ = inside;
        holder_->setLayout(holderLayout_);
    }
    setFixedWidth(cardWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    connect(&m_, &MenuModel::stateChanged, this, &PopoverView::rebuild);
    connect(&m_, &MenuModel::upNextOpenChanged, this, &PopoverView::rebuild);
    connect(&m_, &MenuModel::selectedChanged, this, &PopoverView::showSelection);
    connect(&m_, &MenuModel::contentHeightChanged, this, &PopoverView::applyHeight);
    qApp->installEventFilter(this);
    rebuild();
}

bool PopoverView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (watched->isWidgetType() && isAncestorOf(static_cast<QWidget*>(watched)))
            held_ = true;
        break;
    case QEvent::MouseButtonRelease:
        if (held_) {
            held_ = false;
            // After the release has done its work on the widgets it was meant for.
            if (pending_)
                QMetaObject::invokeMethod(this, &PopoverView::rebuild, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return ZVCard::eventFilter(watched, event);
}

void PopoverView::hideEvent(QHideEvent* event)
{
    ZVCard::hideEvent(event);
    // A press the popover closed under never gets its release here.
    held_ = false;
    if (pending_)
        rebuild();
}

void PopoverView::setRoom(int height)
{
    room_ = std::clamp(height, 0, int(maxHeight));
    applyHeight();
}

void PopoverView::scrollToTop()
{
    if (scrollArea_)
        scrollArea_->verticalScrollBar()->setValue(0);
}

void PopoverView::run(const std::optional<QString>& id, bool keepOpen)
{
    if (id)
        m_.perform(*id, keepOpen);
}

bool PopoverView::isSelected(const std::optional<QString>& id) const
{
    return id && m_.selected() && *id == *m_.selected();
}

void PopoverView::mark(const std::optional<QString>& id, QWidget* widget, std::function<void(bool)> set)
{
    if (!id)
        return;
    set(isSelected(id));
    marks_.push_back({*id, widget, std::move(set)});
}

void PopoverView::showSelection()
{
    QWidget* shown = nullptr;
    for (const Mark& mk : marks_) {
        if (!mk.widget)
            continue;
        const bool on = isSelected(mk.id);
        mk.set(on);
        if (on && !shown)
            shown = mk.widget;
    }
    // The keyboard may move to an element scrolled out of sight.
    if (scrollArea_ && shown)
        scrollArea_->ensureWidgetVisible(shown, 0, 8);
}

bool PopoverView::updateInPlace()
{
    if (!content_ || !built_ || builtUpNextOpen_ != m_.upNextOpen())
        return false;
    const MenuState& s = m_.s();
    MenuState rest = s;
    rest.rec = built_->rec;
    if (!(rest == *built_))
        return false;
    if (s.rec == built_->rec)
        return true;
    // The recording's clock ticks every second: only its figures change.
    if (!s.rec.isRecording() || !built_->rec.isRecording() || !clock_ || !counts_)
        return false;
    clock_->setText(Fmt::clock(s.rec.elapsed));
    counts_->setText(countsText(s.rec));
    built_ = s;
    measure();
    return true;
}

void PopoverView::rebuild()
{
    if (held_) {
        pending_ = true;
        return;
    }
    pending_ = false;
    if (updateInPlace())
        return;
    marks_.clear();
    if (content_ && m_.shown()) {
        // What goes from an open popover fades out where it was.
        const auto& now = m_.s().attention;
        for (QWidget* card : content_->findChildren<QWidget*>()) {
            const QString name = card->objectName();
            if (!name.startsWith(QLatin1String("attn.")))
                continue;
            const QString id = name.mid(5);
            if (std::none_of(now.begin(), now.end(), [&](const MenuState::Attn& a) { return a.id == id; }))
                Transition::leave(card, this, Motion::spring());
        }
        if (upNextBody_ && !m_.upNextOpen())
            Transition::leave(upNextBody_, this, Motion::spring());
    }
    if (content_) {
        // Later: a click handler of the old content may be what rebuilt it.
        content_->hide();
        holderLayout_->removeWidget(content_);
        content_->deleteLater();
    }
    const MenuState& s = m_.s();
    auto* sections = column(sectionGap, QMargins(pad, pad, pad, footerSlot_ ? 0 : pad));
    sections->addWidget(header());
    sections->addWidget(recordBlock());
    if (s.openBoard)
        sections->addWidget(openBoard(*s.openBoard));
    // An empty quick row would only add a gap.
    if (!s.quick.empty())
        sections->addWidget(quickRow());
    if (!s.attention.empty())
        sections->addWidget(attention());
    else
        shownAttention_ = QStringList();
    sections->addWidget(upNext());
    if (s.workday)
        sections->addWidget(workday());
    if (!s.projects.empty() || s.newProject)
        sections->addWidget(projects());
    if (footerSlot_) {
        if (footer_) {
            footer_->hide();
            footerLayout_->removeWidget(footer_);
            footer_->deleteLater();
        }
        footer_ = footer();
        footerLayout_->addWidget(footer_);
        for (QWidget* w : footer_->findChildren<QWidget*>())
            w->setFocusPolicy(Qt::NoFocus);
    } else {
        sections->addWidget(footer());
    }
    content_ = holding(sections);
    // The panel takes every key; nothing inside may keep the focus.
    for (QWidget* w : content_->findChildren<QWidget*>())
        w->setFocusPolicy(Qt::NoFocus);
    holderLayout_->insertWidget(0, content_);
    built_ = s;
    builtUpNextOpen_ = m_.upNextOpen();
    measure();
}

namespace {

int heightAt(QLayout* l, int width)
{
    l->activate();
    return l->hasHeightForWidth() ? l->totalHeightForWidth(width) : l->totalSizeHint().height();
}

} // namespace

int PopoverView::footerHeight() const
{
    return footerSlot_ ? heightAt(footerLayout_, cardWidth) : 0;
}

int PopoverView::measuredHeight() const
{
    return heightAt(content_->layout(), cardWidth) + footerHeight();
}

void PopoverView::measure()
{
    if (scroll_) {
        const qreal h = measuredHeight();
        // Small differences are not written back, so a layout never chases itself.
        if (std::abs(h - m_.contentHeight()) > 0.5)
            m_.setContentHeight(h);
    }
    applyHeight();
}

void PopoverView::applyHeight()
{
    if (!scrollArea_)
        return;
    // A slim bar in the palette's line colour instead of the platform's.
    const Pal& p = Pal::of(this);
    scrollArea_->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 8px; background: transparent; margin: 6px 2px 6px 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 24px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(p.ln3.name()));
    const qreal h = m_.contentHeight();
    scrollArea_->setVerticalScrollBarPolicy(h > room_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    scrollArea_->setFixedHeight(std::max(0, int(std::ceil(std::min<qreal>(h, room_))) - footerHeight()));
}

// --- Header ---------------------------------------------------------------

QWidget* PopoverView::header()
{
    const MenuState& s = m_.s();
    auto* stack = column(6);

    auto* top = row(6);
    top->addWidget(new Wordmark(15), 0, Qt::AlignVCenter);
    top->addStretch(1);
    if (s.rec.isRecording()) {
        auto* rec = row(5);
        rec->addWidget(new Dot(6, role(&Pal::red)), 0, Qt::AlignVCenter);
        rec->addWidget(
            new Text(QStringLiteral("REC"), ZVFont::tracked(ZVFont::mono(10, QFont::Bold), 1), role(&Pal::red)));
        top->addLayout(rec);
    } else if (s.statusTone == ZVChip::Tone::accent) {
        top->addWidget(new ZVChip(QStringLiteral("live"), ZVChip::Tone::accent), 0, Qt::AlignVCenter);
    } else {
        top->addWidget(new ZVChip(QStringLiteral("idle"), ZVChip::Tone::plain), 0, Qt::AlignVCenter);
    }
    stack->addLayout(top);

    auto* names = row(6);
    names->addWidget(new Text(s.name, ZVFont::sans(14, QFont::DemiBold), role(&Pal::tx)), 0, Qt::AlignBaseline);
    if (!s.sub.isEmpty())
        names->addWidget(new Text(QStringLiteral("· ") + s.sub, ZVFont::sans(13), role(&Pal::tx2)), 1);
    else
        names->addStretch(1);
    stack->addLayout(names);

    if (!s.status.isEmpty()) {
        const bool live = s.statusTone == ZVChip::Tone::accent;
        stack->addWidget(new Text(s.status.toUpper(), ZVFont::tracked(ZVFont::mono(10, QFont::Medium), 1),
                                  role(live ? &Pal::ac : &Pal::tx3)));
    }
    return holding(stack);
}

// --- Record block -----------------------------------------------------------

QWidget* PopoverView::recordBlock()
{
    const MenuState& s = m_.s();
    // The same id starts and stops; it is read when clicked.
    const auto runRec = [this] { run(m_.s().recID); };

    switch (s.rec.kind) {
    case Rec::Kind::idle: {
        auto* button = new ZVButton(QString(), ZVButton::Look{ZVButton::Kind::primary, 44, true, isSelected(s.recID)});
        auto* label = row(10);
        label->addWidget(new RecordMark);
        auto* words = column(1);
        words->addWidget(new Text(QStringLiteral("Kick in"), ZVFont::sans(14, QFont::DemiBold), ink(button)));
        words->addWidget(new Text(QStringLiteral("records screen & audio"), ZVFont::sans(11), ink(button, 0.75)));
        label->addLayout(words, 1);
        label->addWidget(
            new Text(MenuState::hint(MenuState::kickInKey), ZVFont::mono(10.5, QFont::DemiBold), ink(button, 0.6)));
        button->setLabel(new Wide(label));
        button->setEnabled(s.recID.has_value());
        button->setObjectName(s.recID.value_or(QString()));
        connect(button, &QAbstractButton::clicked, this, runRec);
        mark(s.recID, button, [button](bool on) {
            auto look = button->look();
            look.selected = on;
            button->setLook(look);
        });
        return button;
    }
    case Rec::Kind::starting:
    case Rec::Kind::saving: {
        auto* line = row(10, QMargins(12, 0, 12, 0));
        line->addWidget(new Spinner(role(&Pal::tx2)));
        line->addWidget(new Text(s.rec.kind == Rec::Kind::starting ? QStringLiteral("Kicking in…")
                                                                   : QStringLiteral("Saving session…"),
                                 ZVFont::sans(13, QFont::Medium), role(&Pal::tx2)),
                        1);
        auto* box = new Box({10, role(&Pal::bg2), role(&Pal::ln2)}, line);
        box->setFixedHeight(44);
        return box;
    }
    case Rec::Kind::recording: {
        auto* line = row(12, QMargins(10, 10, 10, 10));
        line->addWidget(new Orb(34, true));
        auto* figures = column(2);
        clock_ = new Text(Fmt::clock(s.rec.elapsed), ZVFont::mono(18, QFont::DemiBold), role(&Pal::tx));
        figures->addWidget(clock_);
        counts_ = new Text(countsText(s.rec), ZVFont::tracked(ZVFont::mono(9.5, QFont::DemiBold), 0.9),
                           role(&Pal::tx3), Text::Mode::wrap);
        figures->addWidget(counts_);
        line->addLayout(figures, 1);

        auto* wrap = new ZVButton(QString(), ZVButton::Look{ZVButton::Kind::danger, 30, false, isSelected(s.recID)});
        auto* label = row(6);
        label->addWidget(new Dot(9, ink(wrap), 2), 0, Qt::AlignVCenter);
        label->addWidget(new Text(QStringLiteral("Wrap up"), ZVFont::sans(12.5, QFont::DemiBold), ink(wrap)));
        wrap->setLabel(holding(label));
        wrap->setObjectName(s.recID.value_or(QString()));
        connect(wrap, &QAbstractButton::clicked, this, runRec);
        mark(s.recID, wrap, [wrap](bool on) {
            auto look = wrap->look();
            look.selected = on;
            wrap->setLook(look);
        });
        line->addWidget(wrap, 0, Qt::AlignVCenter);

        const auto tint = [](const Pal& p) {
            QColor c = p.red;
            c.setAlphaF(p.dark ? 0.08f : 0.06f);
            return c;
        };
        return new Box({12, tint, faded(role(&Pal::red), 0.35)}, line);
    }
    }
    return new QWidget;
}

// --- Open board -------------------------------------------------------------

QWidget* PopoverView::openBoard(const QString& id)
{
    auto* button = new ZVButton(QString(), ZVButton::Look{ZVButton::Kind::ghost, 40, true, isSelected(id)});
    auto* label = row(10);
    label->addWidget(new Glyph(QStringLiteral("rectangle.grid.2x2"), 14, role(&Pal::ac)));
    label->addWidget(new Text(QStringLiteral("Open board"), ZVFont::sans(14, QFont::DemiBold), ink(button)), 1);
    label->addWidget(
        new Text(MenuState::hint(MenuState::openBoardKey), ZVFont::mono(10.5, QFont::DemiBold), ink(button, 0.6)));
    button->setLabel(new Wide(label));
    button->setObjectName(id);
    connect(button, &QAbstractButton::clicked, this, [this, id] { run(id); });
    mark(id, button, [button](bool on) {
        auto look = button->look();
        look.selected = on;
        button->setLook(look);
    });
    return button;
}

// --- Quick row --------------------------------------------------------------

QWidget* PopoverView::quickRow()
{
    auto* tiles = row(8);
    for (const MBtn& b : m_.s().quick) {
        const QString symbol = b.id == QLatin1String("q.pin") ? QStringLiteral("pin")
            : b.id == QLatin1String("q.voice")                ? QStringLiteral("waveform")
                                                              : QStringLiteral("arrow.up.right.square");
        auto* stack = column(4, QMargins(4, 8, 4, 8));
        stack->addWidget(new Glyph(symbol, 14, role(&Pal::ac)), 0, Qt::AlignHCenter);
        stack->addWidget(new Text(b.title, ZVFont::sans(12, QFont::DemiBold), role(&Pal::tx)), 0, Qt::AlignHCenter);
        stack->addWidget(new Text(b.kbd ? MenuState::hint(*b.kbd) : QStringLiteral(" "),
                                  ZVFont::mono(9.5, QFont::Medium), role(&Pal::tx3)),
                         0, Qt::AlignHCenter);
        auto* tile = new Box({10, role(&Pal::bg1), role(&Pal::ln2), {}, faded(role(&Pal::ac), 0.6)}, stack,
                             [this, id = b.id] { run(id); });
        tile->setObjectName(b.id);
        tile->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        pressShrinks(tile);
        mark(b.id, tile, [tile](bool on) { tile->setSelected(on); });
        tiles->addWidget(tile, 1);
    }
    return holding(tiles);
}

// --- Attention --------------------------------------------------------------

QWidget* PopoverView::attention()
{
    auto* cards = column(8);
    QStringList ids;
    for (const MenuState::Attn& a : m_.s().attention) {
        ids << a.id;
        auto* stack = column(6, QMargins(10, 10, 10, 10));

        auto* texts = column(2);
        texts->addWidget(new Text(a.title, ZVFont::sans(13, QFont::DemiBold), role(&Pal::tx), Text::Mode::wrap));
        if (a.detail)
            texts->addWidget(new Text(*a.detail, ZVFont::sans(12), role(&Pal::tx2), Text::Mode::wrap));
        auto* head = row(8);
        head->addWidget(new ZVChip(a.tag, a.tone), 0, Qt::AlignTop);
        head->addLayout(texts, 1);
        if (a.open) {
            // The card's text opens it; without an open id it is inert.
            auto* tap = new Box({12, {}, {}}, head, [this, id = *a.open] { run(id); });
            tap->setObjectName(*a.open);
            stack->addWidget(tap);
        } else {
            stack->addLayout(head);
        }

        if (!a.buttons.empty()) {
            QBoxLayout* buttons = a.stacked ? static_cast<QBoxLayout*>(column(5)) : row(6);
            if (!a.stacked)
                buttons->addStretch(1);
            for (const MBtn& b : a.buttons) {
                const auto kind = b.primary ? ZVButton::Kind::primary : ZVButton::Kind::ghost;
                auto* button = new ZVButton(b.title,
                                            ZVButton::Look{kind, a.stacked ? 28.0 : 26.0, a.stacked, isSelected(b.id)});
                button->setObjectName(b.id);
                connect(button, &QAbstractButton::clicked, this, [this, id = b.id] { run(id); });
                mark(b.id, button, [button](bool on) {
                    auto look = button->look();
                    look.selected = on;
                    button->setLook(look);
                });
                buttons->addWidget(button);
            }
            stack->addLayout(buttons);
        }

        auto* card = new Box({12, role(&Pal::bg1), role(&Pal::ln2), {}, faded(role(&Pal::ac), 0.6)}, stack);
        card->setObjectName(QStringLiteral("attn.") + a.id);
        mark(a.open, card, [card](bool on) { card->setSelected(on); });
        cards->addWidget(card);
        // A card new to an open popover slides in from the top, fading in.
        if (m_.shown() && shownAttention_ && !shownAttention_->contains(a.id))
            Transition::enter(card, {0, 1, 1}, Motion::spring());
    }
    shownAttention_ = ids;
    return holding(cards);
}

// --- Up next ----------------------------------------------------------------

QWidget* PopoverView::upNext()
{
    const MenuState& s = m_.s();
    auto* stack = column(6);

    auto* heading = row(6, QMargins(4, 3, 4, 3));
    heading->addWidget(new ZVSection(QStringLiteral("Up next"),
                                     s.upNextCount >= 1 ? std::optional(QString::number(s.upNextCount)) : std::nullopt),
                       1);
    heading->addWidget(new Glyph(QStringLiteral("chevron.right"), 10, role(&Pal::tx3), m_.upNextOpen()));
    auto* toggle = new Box({6, {}, {}, {}, faded(role(&Pal::ac), 0.5)}, heading, [this] {
        // Read at the click: the toggle flips the fold, which rebuilds this view.
        run(m_.s().upNextToggle, true);
    });
    toggle->setObjectName(s.upNextToggle.value_or(QString()));
    mark(s.upNextToggle, toggle, [toggle](bool on) { toggle->setSelected(on); });
    stack->addWidget(toggle);

    if (m_.upNextOpen()) {
        auto* body = column(2);
        auto* bodyView = holding(body);
        if (s.upNextNote) {
            auto* note = new Text(*s.upNextNote, ZVFont::sans(12.5), role(&Pal::tx3), Text::Mode::wrap);
            auto* padded = column(0, QMargins(10, 4, 10, 4));
            padded->addWidget(note);
            body->addLayout(padded);
        }
        for (const MenuState::Group& g : s.groups) {
            if (s.groups.size() > 1) {
                auto* name = column(0, QMargins(10, 6, 10, 1));
                name->addWidget(new Text(g.name.toUpper(), ZVFont::tracked(ZVFont::mono(9.5, QFont::Bold), 1.2),
                                         role(&Pal::silver)));
                body->addLayout(name);
            }
            for (const MenuState::TodoRow& r : g.items)
                body->addWidget(todoRow(r));
        }
        if (s.upNextMore > 0)
            body->addLayout(moreLine(s.upNextMore));
        stack->addWidget(bodyView);
        upNextBody_ = bodyView;
        // Unfolded in an open popover, the body slides down from the heading.
        if (m_.shown() && shownUpNextOpen_ == false)
            Transition::enter(bodyView, {0, 1, 1}, Motion::spring());
    }
    shownUpNextOpen_ = m_.upNextOpen();
    return holding(stack);
}

QWidget* PopoverView::todoRow(const MenuState::TodoRow& r)
{
    auto* line = row(8, QMargins(8, 3, 8, 3));

    auto* label = row(8);
    label->addWidget(new Dot(6, r.busy ? role(&Pal::ac) : faded(role(&Pal::tx3), 0.5)), 0, Qt::AlignVCenter);
    label->addWidget(new Text(r.title, ZVFont::sans(12.5, r.busy ? QFont::DemiBold : QFont::Normal), role(&Pal::tx)), 1);
    label->addSpacing(4);
    auto* title = new Box({8, {}, {}}, label, [this, id = r.id] { run(id); });
    title->setObjectName(r.id);
    title->setToolTip(r.meta.value_or(r.title));
    title->setMinimumHeight(22);
    line->addWidget(title, 1);

    const auto addButton = [&](const QString& text, ZVButton::Kind kind, const QString& id) {
        auto* button = new ZVButton(text, ZVButton::Look{kind, 22, false, isSelected(id)});
        button->setObjectName(id);
        connect(button, &QAbstractButton::clicked, this, [this, id] { run(id, true); });
        mark(id, button, [button](bool on) {
            auto look = button->look();
            look.selected = on;
            button->setLook(look);
        });
        line->addWidget(button, 0, Qt::AlignVCenter);
    };
    if (r.start)
        addButton(QStringLiteral("Start"), ZVButton::Kind::quiet, *r.start);
    addButton(QStringLiteral("Done"), ZVButton::Kind::ghost, r.done);

    // Only the row's own id lights the row; a selected button lights itself.
    auto* box = new Box({8, {}, {}, role(&Pal::bg3), faded(role(&Pal::ac), 0.45)}, line);
    mark(r.id, box, [box](bool on) { box->setSelected(on); });
    return box;
}

// --- Work day ---------------------------------------------------------------

QWidget* PopoverView::workday()
{
    const MenuState::Workday& w = *m_.s().workday;
    auto* line = row(8, QMargins(10, 0, 10, 0));
    line->addWidget(new Glyph(QStringLiteral("clock"), 12, role(&Pal::tx3)));
    line->addWidget(new Text(w.line, ZVFont::mono(11, QFont::Medium), role(&Pal::tx2)), 1);
    if (w.button) {
        const QString id = w.button->id;
        auto* button = new ZVButton(w.button->title, ZVButton::Look{ZVButton::Kind::quiet, 22, false, isSelected(id)});
        button->setObjectName(id);
        connect(button, &QAbstractButton::clicked, this, [this, id] { run(id, true); });
        mark(id, button, [button](bool on) {
            auto look = button->look();
            look.selected = on;
            button->setLook(look);
        });
        line->addWidget(button);
    }
    return holding(line);
}

// --- Projects ---------------------------------------------------------------

QWidget* PopoverView::projects()
{
    const MenuState& s = m_.s();
    auto* stack = column(2);
    auto* heading = column(0, QMargins(4, 0, 4, 2));
    heading->addWidget(new ZVSection(QStringLiteral("Projects")));
    stack->addLayout(heading);

    const auto addRow = [&](const QString& id, ZVRow::Content content, QWidget* trailing) {
        content.selected = isSelected(id);
        auto* r = new ZVRow(
            content, [this, id] { run(id); }, trailing);
        r->setObjectName(id);
        mark(id, r, [r](bool on) {
            auto c = r->content();
            c.selected = on;
            r->setContent(c);
        });
        stack->addWidget(r);
    };
    for (const MenuState::Proj& p : s.projects) {
        auto* trailing = row(6);
        if (p.seat)
            trailing->addWidget(
                new Text(p.seat->toUpper(), ZVFont::tracked(ZVFont::mono(9, QFont::Bold), 0.8), role(&Pal::silver)));
        trailing->addWidget(new Glyph(QStringLiteral("arrow.right"), 10, role(&Pal::tx3)));
        auto* t = holding(trailing);
        t->setAttribute(Qt::WA_TransparentForMouseEvents);
        addRow(p.id, {QStringLiteral("square.grid.2x2"), p.name}, t);
    }
    if (s.projectsMore > 0)
        stack->addLayout(moreLine(s.projectsMore));
    if (s.newProject)
        addRow(*s.newProject, {QStringLiteral("plus"), QStringLiteral("New project…"), std::nullopt, false, true},
               nullptr);
    return holding(stack);
}

// --- Footer -----------------------------------------------------------------

QWidget* PopoverView::footer()
{
    auto* stack = column(0);
    auto* rule = new Box({0, role(&Pal::ln), {}}, row(0));
    rule->setFixedHeight(1);
    stack->addWidget(rule);
    stack->addSpacing(6);
    for (const MenuState::FooterEntry& f : m_.s().footer) {
        const QString id = f.button.id;
        QWidget* trailing = f.button.kbd ? new Kbd(*f.button.kbd) : nullptr;
        if (trailing)
            trailing->setAttribute(Qt::WA_TransparentForMouseEvents);
        ZVRow::Content content{f.symbol, f.button.title};
        content.selected = isSelected(id);
        auto* r = new ZVRow(
            content, [this, id] { run(id); }, trailing);
        r->setObjectName(id);
        mark(id, r, [r](bool on) {
            auto c = r->content();
            c.selected = on;
            r->setContent(c);
        });
        stack->addWidget(r);
    }
    return holding(stack);
}
