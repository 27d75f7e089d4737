#include "menu/MenuModel.h"

#include <QSettings>

namespace {

// Only a stored boolean counts; anything else is as if nothing were stored.
std::optional<bool> storedBool(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    // An INI file gives its booleans back as these two texts.
    if (v.typeId() == QMetaType::QString) {
        if (v.toString() == QLatin1String("true"))
            return true;
        if (v.toString() == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

bool isTodo(const QString& id)
{
    return id.startsWith(QLatin1String("todo."));
}

} // namespace

MenuModel::MenuModel(QSettings& store, QObject* parent)
    : QObject(parent)
    , store_(store)
    , upNextOpen_(storedBool(store.value(upNextKey)).value_or(true))
{
}

void MenuModel::setSelected(const std::optional<QString>& id)
{
    if (id == selected_)
        return;
    selected_ = id;
    emit selectedChanged();
}

void MenuModel::setUpNextOpen(bool open)
{
    upNextOpen_ = open;
    emit upNextOpenChanged();
    store_.setValue(upNextKey, open);
    store_.sync();
}

void MenuModel::setShown(bool shown)
{
    if (shown == shown_)
        return;
    shown_ = shown;
    emit shownChanged();
}

void MenuModel::setContentHeight(qreal height)
{
    if (height == contentHeight_)
        return;
    contentHeight_ = height;
    emit contentHeightChanged();
}

void MenuModel::begin()
{
    actions_.clear();
    order_.clear();
}

QString MenuModel::act(const QString& id, Action action)
{
    if (!actions_.contains(id))
        order_.append(id);
    actions_.insert(id, std::move(action));
    return id;
}

void MenuModel::commit(const MenuState& state)
{
    s_ = state;
    emit stateChanged();
    if (selected_ && !actions_.contains(*selected_))
        setSelected(std::nullopt);
}

void MenuModel::perform(const QString& id, bool keepOpen)
{
    const auto found = actions_.constFind(id);
    if (found == actions_.cend())
        return;
    // A copy: closing or the action itself may rebuild the table.
    const Action action = *found;
    if (!keepOpen)
        close();
    if (action)
        action();
}

QStringList MenuModel::visibleOrder() const
{
    if (upNextOpen_)
        return order_;
    QStringList visible;
    for (const QString& id : order_) {
        if (!isTodo(id))
            visible.append(id);
    }
    return visible;
}

void MenuModel::move(int delta)
{
    const QStringList visible = visibleOrder();
    if (visible.isEmpty())
        return;
    qsizetype at = selected_ ? visible.indexOf(*selected_) : -1;
    if (at < 0)
        at = delta <= 0 ? visible.size() : -1;
    at = std::clamp<qsizetype>(at + delta, 0, visible.size() - 1);
    setSelected(visible[at]);
}
