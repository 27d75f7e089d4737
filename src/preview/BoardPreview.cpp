#include "preview/BoardPreview.h"

#include "board/BoardLook.h"
#include "preview/Render.h"
#include "ui/Pal.h"
#include "ui/Scheme.h"
#include "ui/Symbols.h"
#include "ui/Wordmark.h"
#include "ui/ZVChip.h"
#include "ui/ZVFont.h"
#include "ui/ZVSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <memory>

namespace {

const QString title = QStringLiteral("My board · Zelvan");

// A bordered toolbar button showing one symbol; it does nothing.
class ToolButton : public QWidget {
public:
    explicit ToolButton(const QString& symbol, QWidget* parent = nullptr)
        : QWidget(parent)
        , glyph_(Symbols::glyph(symbol))
    {
        setFixedSize(32, 26);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Pal& p = Pal::darkPal();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(p.ln2, 1));
        painter.setBrush(p.bg2);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.setFont(Symbols::font(18));
        painter.setPen(p.tx2);
        painter.drawText(rect(), Qt::AlignCenter, glyph_);
    }

private:
    QString glyph_;
};

// The window manager's buttons, drawn by us: minimise, maximise, close.
class WindowButtons : public QWidget {
public:
    explicit WindowButtons(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setFixedSize(3 * 24 + 2 * 8, 24);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Pal& p = Pal::darkPal();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 3; ++i) {
            const QRectF r(i * 32, 0, 24, 24);
            painter.setPen(Qt::NoPen);
            painter.setBrush(p.bg2);
            painter.drawEllipse(r);
            painter.setPen(QPen(p.tx2, 1.4, Qt::SolidLine, Qt::RoundCap));
            painter.setBrush(Qt::NoBrush);
            const QPointF c = r.center();
            if (i == 0) {
                painter.drawLine(c + QPointF(-4, 3), c + QPointF(4, 3));
            } else if (i == 1) {
                painter.drawRect(QRectF(c - QPointF(4, 4), QSizeF(8, 8)));
            } else {
                painter.drawLine(c + QPointF(-4, -4), c + QPointF(4, 4));
                painter.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
            }
        }
    }
};

// Title bar and toolbar in one band, with a hairline under it.
class Chrome : public QWidget {
public:
    explicit Chrome(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setFixedHeight(BoardPreview::chromeHeight);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(14, 0, 14, 0);
        row->setSpacing(6);
        row->addWidget(new ToolButton(QStringLiteral("chevron.left")));
        row->addWidget(new ToolButton(QStringLiteral("chevron.right")));
        row->addStretch(1);
        auto* label = new QLabel(title);
        label->setObjectName(QStringLiteral("title"));
        label->setFont(ZVFont::sans(12, QFont::DemiBold));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Pal::darkPal().tx2);
        label->setPalette(palette);
        row->addWidget(label);
        row->addStretch(1);
        row->addWidget(new ToolButton(QStringLiteral("arrow.clockwise")));
        row->addSpacing(14);
        row->addWidget(new WindowButtons);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), BoardLook::darkBG);
        painter.fillRect(QRectF(0, height() - 1, width(), 1), Pal::darkPal().ln);
    }
};

// One card of the sample page: 54 high, as wide as its column.
class CardStub : public QWidget {
public:
    explicit CardStub(bool accent, QWidget* parent = nullptr)
        : QWidget(parent)
        , accent_(accent)
    {
        setFixedHeight(54);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Pal& p = Pal::darkPal();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor stroke = p.ac;
        stroke.setAlphaF(0.5);
        painter.setPen(QPen(accent_ ? stroke : p.ln2, 1));
        painter.setBrush(p.bg1);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }

private:
    bool accent_;
};

// The page where the web page would be: the wordmark with "today", then the
// columns "Up next", "Doing", "Review" and "Done" with 4, 3, 3 and 2 cards.
class StandInPage : public QWidget {
public:
    explicit StandInPage(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        Scheme::force(this, ColorScheme::dark);
        auto* stack = new QVBoxLayout(this);
        const int pad = BoardPreview::pagePadding;
        stack->setContentsMargins(pad, pad, pad, pad);
        stack->setSpacing(18);
        auto* header = new QHBoxLayout;
        header->addWidget(new Wordmark(16));
        header->addStretch(1);
        header->addWidget(new ZVChip(QStringLiteral("today"), ZVChip::Tone::accent));
        stack->addLayout(header);
        auto* columns = new QHBoxLayout;
        columns->setSpacing(14);
        const std::pair<const char*, int> cards[] = {{"Up next", 4}, {"Doing", 3}, {"Review", 3}, {"Done", 2}};
        for (const auto& [name, count] : cards) {
            auto* column = new QVBoxLayout;
            column->setSpacing(8);
            column->addWidget(new ZVSection(QString::fromUtf8(name)));
            for (int i = 0; i < count; ++i)
                column->addWidget(new CardStub(QLatin1String(name) == QLatin1String("Doing") && i == 0));
            column->addStretch(1);
            columns->addLayout(column, 1);
        }
        stack->addLayout(columns, 1);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Pal::darkPal().bg); }
};

class Window : public QWidget {
public:
    Window()
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setWindowTitle(title);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        column->addWidget(new Chrome);
        column->addWidget(new StandInPage, 1);
    }
    QSize sizeHint() const override { return {BoardPreview::width, BoardPreview::height}; }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), BoardLook::darkBG); }
};

} // namespace

namespace BoardPreview {

QWidget* window()
{
    return new Window;
}

bool render(const QString& path)
{
    std::unique_ptr<QWidget> win(window());
    // The board window is always dark; nothing here follows the desktop's scheme.
    return Render::png(*win, path, true);
}

} // namespace BoardPreview
