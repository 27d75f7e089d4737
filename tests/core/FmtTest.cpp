#include "core/Fmt.h"

#include <QLocale>
#include <QTimeZone>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {
// 31 Jan 2025 08:05:03.120 UTC, 09:05:03 in Berlin (the tests' zone).
const QDateTime sample(QDate(2025, 1, 31), QTime(8, 5, 3, 120), QTimeZone::utc());
} // namespace

TEST(Fmt, IsoForms)
{
    EXPECT_EQ(Fmt::iso(sample), "2025-01-31T08:05:03.120Z");
    EXPECT_EQ(Fmt::isoPlain(sample), "2025-01-31T08:05:03Z");
    EXPECT_EQ(Fmt::iso(sample.toLocalTime()), "2025-01-31T08:05:03.120Z") << "always UTC";
}

TEST(Fmt, ParseIsoAcceptsBothFormsAndNothingElse)
{
    struct Case {
        const char* text;
        std::optional<qint64> msecs; // since the epoch
    };
    const qint64 s = QDateTime(QDate(2025, 1, 31), QTime(8, 5, 3), QTimeZone::utc()).toMSecsSinceEpoch();
    const Case cases[] = {
        {"2025-01-31T08:05:03.120Z", s + 120},
        {"2025-01-31T08:05:03Z", s},
        {"2025-01-31T09:05:03+01:00", s},
        {"2025-01-31T08:05:03.5Z", s + 500},
        {"2025-01-31", std::nullopt},
        {"2025-01-31T08:05:03", std::nullopt},
        {"2025-01-31 08:05:03Z", std::nullopt},
        {"2025-02-30T08:05:03Z", std::nullopt},
        {"2025-01-31T25:05:03Z", std::nullopt},
        {" 2025-01-31T08:05:03Z", std::nullopt},
        {"", std::nullopt},
        {"yesterday", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto parsed = Fmt::parseISO(QString::fromLatin1(c.text));
        ASSERT_EQ(parsed.has_value(), c.msecs.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->toMSecsSinceEpoch(), *c.msecs) << c.text;
        }
    }
}

TEST(Fmt, LocalFormsUseTheCurrentZoneAndWesternDigits)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(Fmt::day(sample), "2025-01-31");
    EXPECT_EQ(Fmt::stamp(sample), "20250131-090503");
    QLocale::setDefault(before);
    EXPECT_EQ(Fmt::human(sample), "31 Jan 09:05"); // the tests run with an English locale
    // Summer time in Berlin is UTC+2.
    EXPECT_EQ(Fmt::stamp(QDateTime(QDate(2025, 7, 1), QTime(22, 30, 0), QTimeZone::utc())), "20250702-003000");
    EXPECT_EQ(Fmt::day(QDateTime(QDate(2025, 7, 1), QTime(22, 30, 0), QTimeZone::utc())), "2025-07-02");
}

TEST(Fmt, Duration)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0 m"},        {59, "0 m"},         {60, "1 m"},   {3599, "59 m"},        {3600, "1 h 0 m"},
        {3725, "1 h 2 m"}, {36000, "10 h 0 m"}, {-90, "-1 m"}, {-3600 * 2, "-120 m"}, {std::nan(""), "0 m"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(Fmt::duration(seconds), text) << seconds;
    // Out-of-range values give some text rather than stopping the process.
    EXPECT_FALSE(Fmt::duration(std::numeric_limits<double>::infinity()).isEmpty());
}

TEST(Fmt, Clock)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},       {59.9, "0:59"},      {61, "1:01"}, {3599, "59:59"},        {3600, "1:00:00"},
        {3661, "1:01:01"}, {36000, "10:00:00"}, {-5, "0:00"}, {std::nan(""), "0:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(Fmt::clock(seconds), text) << seconds;
    EXPECT_FALSE(Fmt::clock(std::numeric_limits<double>::infinity()).isEmpty());
}
