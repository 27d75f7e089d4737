#pragma once

#include "ui/Floating.h"
#include "ui/Later.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class PalText;

// The capsule at the top centre of the main screen while a voice command is
// spoken and shortly after: a dot (red while listening, lime after) and one or
// two lines of text. It never takes focus and lets every click pass through.
// Main thread.
class VoicePill : public QObject {
    Q_OBJECT
public:
    class Model : public QObject {
    public:
        bool listening() const { return listening_; }
        QString text() const { return text_; }
        void set(bool listening, const QString& text);
        void setText(const QString& text);
        // What the pill shows: the text, else the state's default.
        QString shown() const;
        std::function<void()> changed = [] {};

    private:
        bool listening_ = true;
        QString text_;
    };

    class PillView : public QWidget {
    public:
        explicit PillView(Model& m, QWidget* parent = nullptr);
        PalText* label() const { return label_; }
        QColor dotColour() const;
        void refresh();

    protected:
        void paintEvent(QPaintEvent*) override;

    private:
        Model& m_;
        QWidget* dot_;
        PalText* label_;
    };

    using Screens = std::function<std::vector<ScreenArea>()>;

    explicit VoicePill(Later& later = Later::main(), Screens screens = FloatingPanel::screens);
    ~VoicePill() override;

    // Sets the state and text and shows the pill; with `hideAfter` it goes
    // away by itself that many seconds later. Cancels a pending hide.
    void show(bool listening, const QString& text, std::optional<double> hideAfter);
    // New text, re-centred; neither shows the pill nor touches a pending hide.
    void update(const QString& text);
    // Cancels a pending hide and takes the pill off the screen (kept for reuse).
    void hide();

    Model& model() { return model_; }
    FloatingPanel* panel() const { return panel_; }
    PillView* view() const;

    // Where a pill of `size` goes: centred, 10 below the main screen's visible top.
    static std::optional<QPoint> place(QSize size, const std::vector<ScreenArea>& screens);

private:
    void layout();

    Later& later_;
    Screens screens_;
    Model model_;
    QPointer<FloatingPanel> panel_;
    std::unique_ptr<Later::Handle> hideWork_;
};
