#include "ui/HUDModel.h"

#include "core/Clock.h"
#include "session/LiveMeter.h"

QString HUDModel::modeName(Mode mode)
{
    switch (mode) {
    case Mode::pill:
        return QStringLiteral("pill");
    case Mode::card:
        return QStringLiteral("card");
    case Mode::dot:
        return QStringLiteral("dot");
    }
    return {};
}

std::optional<HUDModel::Mode> HUDModel::modeFromName(const QString& name)
{
    for (Mode m : {Mode::pill, Mode::card, Mode::dot})
        if (modeName(m) == name)
            return m;
    return std::nullopt;
}

HUDModel::HUDModel()
    : started_(Clock::current().now())
{
}

void HUDModel::setMode(Mode mode)
{
    mode_ = mode;
    emit changed();
}

void HUDModel::set(Mode mode)
{
    emit switching();
    setMode(mode);
    modeChanged(mode);
}

void HUDModel::setStarted(const QDateTime& at)
{
    started_ = at;
    emit changed();
}

void HUDModel::clearFeed()
{
    feed_.clear();
    emit changed();
}

void HUDModel::setMicOk(bool on)
{
    micOk_ = on;
    emit changed();
}

void HUDModel::setHearing(bool on)
{
    hearing_ = on;
    emit changed();
}

void HUDModel::setListening(bool on)
{
    listening_ = on;
    emit changed();
}

void HUDModel::add(FeedItem::Kind kind, const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    if (!feed_.empty() && feed_.front().kind == kind && feed_.front().text == trimmed)
        return;
    feed_.insert(feed_.begin(), FeedItem(kind, trimmed, Clock::current().now()));
    if (feed_.size() > size_t(keep))
        feed_.erase(feed_.begin() + keep, feed_.end());
    emit changed();
    LiveMeter::shared().pulse();
}
