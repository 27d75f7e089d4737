// The tolerant readers of answers from servers.
#include "core/Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

TEST(JsonStr, ReadsJsonValuesAsText)
{
    const std::pair<QJsonValue, std::optional<QString>> cases[] = {
        {QJsonValue("a b"), "a b"},
        {QJsonValue(""), ""},
        {QJsonValue(7), "7"},
        {QJsonValue(7.0), "7"},
        {QJsonValue(-3), "-3"},
        {QJsonValue(7.5), "7.5"},
        {QJsonValue(0.1), "0.1"},
        {QJsonValue(qint64(12345678901234567)), "12345678901234567"},
        {QJsonValue(1e20), "1e+20"},
        {QJsonValue(true), "1"},
        {QJsonValue(false), "0"},
        {QJsonValue(QJsonValue::Null), std::nullopt},
        {QJsonValue(QJsonValue::Undefined), std::nullopt},
        {QJsonValue(QJsonObject{{"a", 1}}), std::nullopt},
        {QJsonValue(QJsonArray{1}), std::nullopt},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(Json::str(value), text)
            << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}
