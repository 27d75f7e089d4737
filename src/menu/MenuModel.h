#pragma once

#include "menu/MenuState.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class QSettings;

// The one model behind the popover: the state shown, the action of each id in
// the order the builder registered them, the keyboard selection and the view
// flags. Every click and every Return goes through perform(). Main thread only.
class MenuModel : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    // Where "Up next" stays folded or open between runs. The store outlives
    // the model.
    static inline const QString upNextKey = QStringLiteral("ui.upNextOpen");

    explicit MenuModel(QSettings& store, QObject* parent = nullptr);

    const MenuState& s() const { return s_; }
    const std::optional<QString>& selected() const { return selected_; }
    void setSelected(const std::optional<QString>& id);
    bool upNextOpen() const { return upNextOpen_; }
    // Written through to the store at once.
    void setUpNextOpen(bool open);
    bool shown() const { return shown_; }
    void setShown(bool shown);
    // Natural height of the popover's content, measured by the view.
    qreal contentHeight() const { return contentHeight_; }
    void setContentHeight(qreal height);

    const QHash<QString, Action>& actions() const { return actions_; }
    const QStringList& order() const { return order_; }
    bool has(const QString& id) const { return actions_.contains(id); }

    // Closes the popover; the popover controller sets it.
    Action close = [] {};

    // A rebuild: begin(), act() for every clickable element in visual order,
    // then commit() the new state.
    void begin();
    // Registers `action` under `id` and returns `id`. A second registration of
    // an id replaces its action and keeps its first place in the order.
    QString act(const QString& id, Action action);
    // Shows `state`; a selection whose id is no longer registered is dropped.
    void commit(const MenuState& state);
    // Runs the action of `id`, closing the popover first unless `keepOpen`.
    // An unknown id does nothing at all.
    void perform(const QString& id, bool keepOpen = false);
    // Moves the selection by `delta` through visibleOrder(), without wrapping.
    void move(int delta);
    // The order without the to-do ids while "Up next" is folded.
    QStringList visibleOrder() const;

signals:
    void stateChanged();
    void selectedChanged();
    void upNextOpenChanged();
    void shownChanged();
    void contentHeightChanged();

private:
    QSettings& store_;
    MenuState s_;
    std::optional<QString> selected_;
    bool upNextOpen_ = true;
    bool shown_ = false;
    qreal contentHeight_ = 400;
    QHash<QString, Action> actions_;
    QStringList order_;
};
