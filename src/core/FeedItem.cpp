#include "core/FeedItem.h"

#include <array>

namespace {

constexpr std::array<const char16_t*, 8> labels = {
    u"Heard", u"Now in", u"New slide", u"Pinned", u"Noted", u"Tip", u"Card", u"Zelvan",
};

} // namespace

QString FeedItem::label(Kind kind)
{
    return QString::fromUtf16(labels.at(size_t(kind)));
}

std::optional<FeedItem::Kind> FeedItem::kindFromLabel(const QString& label)
{
    for (size_t i = 0; i < labels.size(); ++i) {
        if (label == QStringView(labels[i]))
            return Kind(i);
    }
    return std::nullopt;
}

FeedItem::FeedItem(Kind kind, QString text, QDateTime at)
    : id(QUuid::createUuid())
    , kind(kind)
    , text(std::move(text))
    , at(std::move(at))
{
}
