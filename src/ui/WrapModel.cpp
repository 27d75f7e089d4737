#include "ui/WrapModel.h"

WrapModel::WrapModel(QObject* parent)
    : QObject(parent)
    , phase_(QStringLiteral("Uploading today\u2019s activity\u2026"))
{
}

namespace {

template <typename T>
void assign(WrapModel* model, T& field, const T& value)
{
    field = value;
    emit model->changed();
}

} // namespace

void WrapModel::setPhase(const QString& value)
{
    assign(this, phase_, value);
}
void WrapModel::setRunning(bool value)
{
    assign(this, running_, value);
}
void WrapModel::setSummary(const std::optional<QString>& value)
{
    assign(this, summary_, value);
}
void WrapModel::setHighlights(const QStringList& value)
{
    assign(this, highlights_, value);
}
void WrapModel::setTomorrow(const QStringList& value)
{
    assign(this, tomorrow_, value);
}
void WrapModel::setCards(const std::vector<WrapStatus::Card>& value)
{
    assign(this, cards_, value);
}
void WrapModel::setError(const std::optional<QString>& value)
{
    assign(this, error_, value);
}
