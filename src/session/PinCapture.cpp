#include "session/PinCapture.h"

#include "core/Log.h"
#include "platform/OwnWindows.h"
#include "platform/ScreenCapture.h"
#include "session/CapturePause.h"
#include "session/Frames.h"
#include "session/RegionPicker.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace {

QPointer<RegionPicker>& openPicker()
{
    static QPointer<RegionPicker> picker;
    return picker;
}

void later(const PinCapture::Completion& completion, std::optional<QByteArray> jpeg)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [completion, jpeg = std::move(jpeg)] { completion(jpeg); }, Qt::QueuedConnection);
}

// Shows the picker over the frozen grab; the chosen region is encoded off the main thread.
void pick(const QImage& frozen, const QRect& screen, const PinCapture::Completion& completion)
{
    if (openPicker()) {
        later(completion, std::nullopt);
        return;
    }
    auto* picker = new RegionPicker(frozen, screen, [frozen, completion](std::optional<QRect> region) {
        if (!region) {
            later(completion, std::nullopt);
            return;
        }
        const QImage part = frozen.copy(*region);
        QThreadPool::globalInstance()->start([part, completion] {
            // Data that is not a valid image never becomes a pin.
            later(completion, Frames::jpeg(part, 0.7, 1800));
        });
    });
    openPicker() = picker;
    picker->showFullScreen();
    picker->raise();
    picker->activateWindow();
}

} // namespace

namespace PinCapture {

void selectRegion(Completion completion)
{
    if (openPicker()) {
        later(completion, std::nullopt);
        return;
    }
    QThreadPool::globalInstance()->start([completion = std::move(completion)] {
        try {
            const QRect screen = ScreenCapture::primaryDisplay().geometry;
            const QImage frozen = ScreenCapture::grabPrimary();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [frozen, screen, completion] { pick(frozen, screen, completion); },
                Qt::QueuedConnection);
        } catch (const std::exception& e) {
            // Whatever failed, the task must not end the process and the caller still hears back.
            slog(QStringLiteral("screencapture: ") + QString::fromUtf8(e.what()));
            later(completion, std::nullopt);
        }
    });
}

std::optional<QString> askNote(const QByteArray& image, bool recording)
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("zelvanPinNote"));
    dialog.setWindowTitle(QStringLiteral("Zelvan"));
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("icon"));
    QPixmap picture;
    if (picture.loadFromData(image))
        icon->setPixmap(picture.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));

    auto* message = new QLabel(recording ? QStringLiteral("Pin to this session") : QStringLiteral("New pin"));
    message->setObjectName(QStringLiteral("message"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);

    auto* informative = new QLabel(recording ? QStringLiteral("What should the team notice here?")
                                             : QStringLiteral("What should the team notice here? The pin waits in the "
                                                              "menu until you send your pins to the board."));
    informative->setObjectName(QStringLiteral("informative"));
    informative->setWordWrap(true);

    auto* note = new QLineEdit;
    note->setObjectName(QStringLiteral("note"));
    note->setPlaceholderText(QStringLiteral("e.g. their pricing page leads with the annual plan"));
    note->setFixedSize(340, 24);

    auto* buttons = new QDialogButtonBox;
    QPushButton* pin = buttons->addButton(QStringLiteral("Pin"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    pin->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(message);
    text->addWidget(informative);
    text->addWidget(note);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(text);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);

    note->setFocus();
    // In front of every other window once it shows.
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });
    // Recordings keep no frame of the dialog: none while it shows, and none until
    // the windows it leaves uncovered have painted over what is left of it.
    CapturePause::begin();
    const int answer = dialog.exec();
    // exec() has hidden it; wait until the screen shows it no more.
    OwnWindows::waitOffScreen(dialog.windowHandle());
    CapturePause::end();
    if (answer != QDialog::Accepted)
        return std::nullopt;
    return note->text().trimmed();
}

} // namespace PinCapture
