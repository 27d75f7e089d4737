#include "selftest/Suites.h"
#include "selftest/ReportLines.h"

#include <QJsonArray>

namespace {

const QString reviewCheck = QStringLiteral("review suggestions: open ones only (accepted / dismissed left out)");

} // namespace

TEST(ReviewSuggestionsCheck, PassesOnTheApplicationsReading)
{
    const ReportLines l = ReportLines::capture([] { SelfTest::reviewSuggestionsCheck(); });
    EXPECT_EQ(l.lines, QStringList{QStringLiteral("PASS  ") + reviewCheck});
    EXPECT_EQ(l.failed, 0);
}

TEST(ReviewSuggestionsCheck, FailsWhenTheReadingIsBroken)
{
    // Each a fault the application's reading could have.
    const std::vector<std::pair<const char*, SelfTest::OpenSuggestions>> broken{
        {"keeps dismissed and accepted ones",
         [](const QJsonValue& v) {
             std::vector<ReviewSuggestion> all;
             for (const QJsonValue& e : v[QStringLiteral("suggestions")].toArray())
                 all.push_back({QString::number(e[QStringLiteral("i")].toInt()), e[QStringLiteral("title")].toString(),
                                std::nullopt});
             return all;
         }},
        {"reads a number for i as an empty text",
         [](const QJsonValue& v) {
             auto open = openSuggestions(v);
             for (auto& s : open)
                 s.i = v[QStringLiteral("suggestions")][0][QStringLiteral("i")].toString();
             return open;
         }},
        {"offers nothing", [](const QJsonValue&) { return std::vector<ReviewSuggestion>{}; }},
        {"wrong title",
         [](const QJsonValue& v) {
             auto open = openSuggestions(v);
             for (auto& s : open)
                 s.title = s.why.value_or(QString());
             return open;
         }},
    };
    for (const auto& [fault, open] : broken) {
        const ReportLines l = ReportLines::capture([&] { SelfTest::reviewSuggestionsCheck(open); });
        EXPECT_TRUE(l.of(reviewCheck).startsWith(QStringLiteral("FAIL  "))) << fault << ":\n" << l.joined().toStdString();
        EXPECT_EQ(l.failed, 1) << fault;
    }
}
