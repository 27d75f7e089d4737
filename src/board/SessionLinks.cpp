#include "board/SessionLinks.h"

#include "core/Accounts.h"
#include "core/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSettings>
#include <QStringList>
#include <vector>

namespace SessionLinks {

namespace {

const QString key = QStringLiteral("board.sessionLinks");

// A value that is not a list of text lists counts as an empty list.
std::vector<QStringList> read(Settings& settings)
{
    const QJsonDocument doc = QJsonDocument::fromJson(settings.d().value(key).toString().toUtf8());
    if (!doc.isArray())
        return {};
    std::vector<QStringList> entries;
    for (const QJsonValue& item : doc.array()) {
        if (!item.isArray())
            return {};
        QStringList entry;
        for (const QJsonValue& text : item.toArray()) {
            if (!text.isString())
                return {};
            entry << text.toString();
        }
        entries.push_back(entry);
    }
    return entries;
}

} // namespace

void remember(Settings& settings, const QString& id, const std::optional<QUrl>& page)
{
    if (!page || id.isEmpty())
        return;
    std::vector<QStringList> entries = read(settings);
    std::erase_if(entries, [&](const QStringList& e) { return !e.isEmpty() && e.first() == id; });
    entries.push_back({id, QString::fromUtf8(page->toEncoded())});
    if (entries.size() > size_t(limit))
        entries.erase(entries.begin(), entries.end() - limit);
    QJsonArray list;
    for (const QStringList& e : entries)
        list.append(QJsonArray::fromStringList(e));
    settings.d().setValue(key, QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
}

std::optional<QUrl> link(Accounts& accounts, const QString& id)
{
    Settings& settings = accounts.settings();
    const std::vector<QStringList> entries = read(settings);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->isEmpty() || it->first() != id)
            continue;
        if (const QUrl page(it->last(), QUrl::StrictMode); page.isValid() && !page.scheme().isEmpty())
            return page;
        break;
    }
    const auto& filed = settings.lastFiled();
    if (filed && filed->id == id)
        if (const auto page = accounts.link(filed->dest, id))
            return QUrl::fromEncoded(page->toEncoded());
    return std::nullopt;
}

} // namespace SessionLinks
