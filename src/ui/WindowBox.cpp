#include "ui/WindowBox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// A plain top-level window that tells the box when it closes.
class KeptWindow : public QWidget {
public:
    KeptWindow(WindowBox* box)
        : box_(box)
    {
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

    void setContent(QWidget* view)
    {
        auto* l = layout();
        while (QLayoutItem* item = l->takeAt(0)) {
            if (QWidget* old = item->widget()) {
                old->hide();
                old->deleteLater();
            }
            delete item;
        }
        l->addWidget(view);
        view->show();
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        QWidget::closeEvent(event);
        if (event->isAccepted() && box_)
            box_->windowClosed(this);
    }

private:
    QPointer<WindowBox> box_;
};

constexpr QSize fallback(600, 600);

} // namespace

WindowBox::WindowBox(QObject* parent)
    : QObject(parent)
{
}

WindowBox::~WindowBox()
{
    for (QWidget* w : std::as_const(windows_))
        delete w;
}

void WindowBox::show(const QString& id, const QString& title, QWidget* view)
{
    auto* window = static_cast<KeptWindow*>(windows_.value(id));
    if (!window) {
        window = new KeptWindow(this);
        window->setWindowTitle(title);
        window->setContent(view);
        QSize size = view->sizeHint();
        if (!size.isValid() || size.isEmpty())
            size = fallback;
        window->setFixedSize(size);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), size);
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
        windows_.insert(id, window);
    } else {
        window->setContent(view);
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
}

QWidget* WindowBox::window(const QString& id) const
{
    return windows_.value(id);
}

void WindowBox::windowClosed(QObject* window)
{
    for (auto it = windows_.begin(); it != windows_.end(); ++it) {
        if (it.value() == window) {
            windows_.erase(it);
            // Closing is the end of the window; its view goes with it.
            static_cast<QWidget*>(window)->deleteLater();
            return;
        }
    }
}
