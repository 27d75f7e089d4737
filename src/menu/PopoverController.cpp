#include "menu/PopoverController.h"

#include "menu/KeyPanel.h"
#include "menu/PopoverRoot.h"
#include "menu/PopoverView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

// How long the fade-out runs before the panel is hidden.
constexpr int hideDelayMs = 140;

// About the size of a tray icon.
constexpr int iconSize = 24;

bool keepsOpen(const QString& id)
{
    return id.startsWith(QLatin1String("todo.")) || id == QLatin1String("upnext.toggle");
}

} // namespace

PopoverController::PopoverController(QSettings& store, QObject* parent)
    : QObject(parent)
    , model_(store)
{
    model_.close = [self = QPointer(this)] {
        if (self)
            self->close();
    };
}

PopoverController::~PopoverController()
{
    delete panel_;
}

KeyPanel* PopoverController::panel() const
{
    return panel_;
}

PopoverRoot* PopoverController::root() const
{
    return root_;
}

bool PopoverController::isOpen() const
{
    return panel_ && panel_->isVisible() && model_.shown();
}

void PopoverController::toggle(const QRect& anchor)
{
    if (isOpen())
        close();
    else
        open(anchor);
}

void PopoverController::open(const QRect& anchor)
{
    anchor_ = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    if (onOpen)
        onOpen();
    makePanel();
    model_.setSelected(std::nullopt);
    // Each opening starts at the top, where the header and the record block are.
    root_->view()->scrollToTop();
    // Without the icon's own rectangle, a click near the first is on the icon.
    panel_->anchor = anchor.isEmpty()
        ? QRect(anchor_.topLeft() - QPoint(iconSize / 2, iconSize / 2), QSize(iconSize, iconSize))
        : anchor_;
    layout();
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    panel_->setFocus();
    model_.setShown(true);
}

void PopoverController::makePanel()
{
    if (panel_)
        return;
    panel_ = new KeyPanel;
    panel_->margin = margin;
    auto* layout = new QVBoxLayout(panel_);
    layout->setContentsMargins(0, 0, 0, 0);
    root_ = new PopoverRoot(model_);
    layout->addWidget(root_);
    panel_->onKey = [self = QPointer(this)](const QKeyEvent& e) { return self && self->handleKey(e); };
    // A click outside hides the panel without asking.
    panel_->onHidden = [self = QPointer(this)] {
        if (self)
            self->model_.setShown(false);
    };
    connect(&model_, &MenuModel::contentHeightChanged, this,
            [this] { QTimer::singleShot(0, this, &PopoverController::layout); });
}

void PopoverController::close()
{
    if (!panel_ || !model_.shown())
        return;
    model_.setShown(false);
    QTimer::singleShot(hideDelayMs, this, [this] {
        if (!model_.shown())
            panel_->hide();
    });
}

QRect PopoverController::popoverFrame(const QRect& anchor, const QRect& screen, const QRect& available,
                                      qreal contentHeight)
{
    const int w = PopoverView::cardWidth + 2 * margin;
    int h = int(std::ceil(std::min<qreal>(contentHeight, PopoverView::maxHeight)));
    int x = int(std::lround(anchor.x() + anchor.width() / 2.0 - w / 2.0));
    // The card hangs below the anchor, or stands above it from the lower half.
    const bool upward = !screen.isEmpty() && anchor.y() + anchor.height() / 2.0 > screen.y() + screen.height() / 2.0;
    if (!available.isEmpty()) {
        // No taller than the room toward the far edge, 4 inside it: what is more scrolls.
        const int room = upward ? anchor.y() - gap - (available.top() + gap)
                                : available.bottom() + 1 - gap - (anchor.y() + anchor.height() + gap);
        h = std::max(0, std::min(h, room));
    }
    const int y = upward ? anchor.y() - gap - margin - h : anchor.y() + anchor.height() + gap - margin;
    if (!available.isEmpty()) {
        // The card (not the margin) keeps 4 points from both edges; the right one wins.
        x = std::max(x, available.left() + gap - margin);
        x = std::min(x, available.right() + 1 - w + margin - gap);
    }
    return {x, y, w, h + 2 * margin};
}

void PopoverController::layout()
{
    if (!panel_)
        return;
    const QScreen* screen = QGuiApplication::screenAt(anchor_.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect frame = popoverFrame(anchor_, screen ? screen->geometry() : QRect(),
                                     screen ? screen->availableGeometry() : QRect(), model_.contentHeight());
    root_->view()->setRoom(frame.height() - 2 * margin);
    panel_->setGeometry(frame);
}

bool PopoverController::handleKey(const QKeyEvent& event)
{
    // Keys first, whatever modifiers are held.
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const auto& id = model_.selected(); id && model_.has(*id))
            model_.perform(*id, keepsOpen(*id));
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Down:
        model_.move(1);
        return true;
    case Qt::Key_Up:
        model_.move(-1);
        return true;
    default:
        break;
    }
    if (!(event.modifiers() & Qt::ControlModifier))
        return false;
    switch (event.key()) {
    case Qt::Key_Q:
        if (onQuit)
            onQuit();
        return true;
    case Qt::Key_Comma:
        model_.perform(QStringLiteral("f.settings"));
        return true;
    case Qt::Key_W:
        close();
        return true;
    case Qt::Key_O:
        if (!model_.s().openBoard)
            return false;
        model_.perform(*model_.s().openBoard);
        return true;
    default:
        return false;
    }
}
