#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "zarn/stdlib/Calendar.h"

namespace zarn::stdlib {
namespace {

// Runs a test in a given time zone and restores the previous one.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

// A zone with daylight saving that needs no zone database.
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

TEST(CalendarTest, DateDefaultsAndNormalisesInUtc) {
    ZoneGuard zone("UTC0");
    EXPECT_EQ(localDateToTimestamp(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(localDateToTimestamp(2024, 2, 30, 0, 0, 0),
              localDateToTimestamp(2024, 3, 1, 0, 0, 0));
    EXPECT_EQ(localDateToTimestamp(2023, 13, 1, 0, 0, 0),
              localDateToTimestamp(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(localDateToTimestamp(2024, 1, 15, 10, 30, 5), 1705314605000);
    // The second before the epoch is a real date, not a failure.
    EXPECT_EQ(localDateToTimestamp(1969, 12, 31, 23, 59, 59), -1000);
}

TEST(CalendarTest, DatesOutsideTheCalendarGiveTheDefinedFallback) {
    ZoneGuard zone("UTC0");
    EXPECT_EQ(localDateToTimestamp(INT64_MAX, 1, 1, 0, 0, 0), kUnrepresentableDate);
    EXPECT_EQ(localDateToTimestamp(INT64_MIN, 1, 1, 0, 0, 0), kUnrepresentableDate);
    EXPECT_EQ(localDateToTimestamp(2024, INT64_MIN, 1, 0, 0, 0), kUnrepresentableDate);
    EXPECT_EQ(localDateToTimestamp(2024, 1, 1, 0, 0, INT64_MAX), kUnrepresentableDate);
    // Representable as a calendar record, but its milliseconds overflow.
    EXPECT_EQ(localDateToTimestamp(2000000000, 1, 1, 0, 0, 0), kUnrepresentableDate);
}

TEST(CalendarTest, DateFollowsDaylightSavingOfTheZone) {
    ZoneGuard zone(kCentralEurope);
    // Noon in summer is 10:00 UTC, noon in winter 11:00 UTC.
    int64_t summer = localDateToTimestamp(2024, 7, 1, 12, 0, 0);
    int64_t winter = localDateToTimestamp(2024, 1, 1, 12, 0, 0);
    EXPECT_EQ(summer, 1719828000000);
    EXPECT_EQ(winter, 1704106800000);
    EXPECT_EQ(calendarField(summer, CalendarField::Hour), 12);
}

TEST(CalendarTest, ZoneChangedThroughTheEnvironmentTakesEffectAtOnce) {
    ZoneGuard zone("UTC0");
    int64_t t = 1705314605000; // 10:30:05 UTC
    EXPECT_EQ(calendarField(t, CalendarField::Hour), 10);
    // Only the variable changes here, as os.setEnv does.
    ::setenv("TZ", "XYZ-3", 1);
    EXPECT_EQ(calendarField(t, CalendarField::Hour), 13);
    EXPECT_EQ(timeZoneOffsetMinutes(), 180);
    EXPECT_EQ(localDateToTimestamp(2024, 1, 15, 13, 30, 5), t);
}

TEST(CalendarTest, FieldsOfAKnownTimestamp) {
    ZoneGuard zone("UTC0");
    int64_t t = 1709251199000; // 2024-02-29 23:59:59 UTC, a Thursday
    EXPECT_EQ(calendarField(t, CalendarField::Year), 2024);
    EXPECT_EQ(calendarField(t, CalendarField::Month), 2);
    EXPECT_EQ(calendarField(t, CalendarField::Day), 29);
    EXPECT_EQ(calendarField(t, CalendarField::Hour), 23);
    EXPECT_EQ(calendarField(t, CalendarField::Minute), 59);
    EXPECT_EQ(calendarField(t, CalendarField::Second), 59);
    EXPECT_EQ(calendarField(t, CalendarField::DayOfWeek), 4);
    EXPECT_EQ(calendarField(t, CalendarField::DayOfYear), 60);
    // Milliseconds are truncated, not rounded.
    EXPECT_EQ(calendarField(t + 999, CalendarField::Second), 59);
}

TEST(CalendarTest, NonPositiveTimestampMeansNow) {
    ZoneGuard zone("UTC0");
    std::time_t now = std::time(nullptr);
    std::tm record{};
    gmtime_r(&now, &record);
    int64_t year = record.tm_year + 1900;
    // Around a new year the clock may move on between the two readings.
    EXPECT_LE(std::abs(calendarField(0, CalendarField::Year) - year), 1);
    EXPECT_LE(std::abs(calendarField(-5, CalendarField::Year) - year), 1);
}

TEST(CalendarTest, ExtremeTimestampsGiveDefinedResults) {
    ZoneGuard zone("UTC0");
    int64_t year = calendarField(INT64_MAX, CalendarField::Year);
    EXPECT_GT(year, 292000000);
    EXPECT_EQ(formatLocalTime(INT64_MAX, "%Y"), std::to_string(year));
    EXPECT_FALSE(formatLocalTime(INT64_MAX, "").empty());
}

TEST(CalendarTest, LeapYearsAndMonthLengths) {
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_FALSE(isLeapYear(2023));
    EXPECT_TRUE(isLeapYear(-4));
    EXPECT_EQ(daysInMonth(2024, 2), 29);
    EXPECT_EQ(daysInMonth(1900, 2), 28);
    EXPECT_EQ(daysInMonth(2000, 2), 29);
    EXPECT_EQ(daysInMonth(2023, 13), 31);
    EXPECT_EQ(daysInMonth(2023, 0), 31);
    EXPECT_EQ(daysInMonth(2023, 4), 30);
    EXPECT_EQ(daysInMonth(2023, 11), 30);
    EXPECT_EQ(daysInMonth(2023, 12), 31);
}

TEST(CalendarTest, FormatPatternsAndTheirFailureCases) {
    ZoneGuard zone("UTC0");
    int64_t t = 1705314605000; // 2024-01-15 10:30:05 UTC
    EXPECT_EQ(formatLocalTime(t, ""), "2024-01-15 10:30:05");
    EXPECT_EQ(formatLocalTime(t, "%H:%M"), "10:30");
    EXPECT_EQ(formatLocalTime(t, "100%%"), "100%");
    EXPECT_EQ(formatLocalTime(t, "plain"), "plain");
    // A conversion left unfinished at the end gives "".
    EXPECT_EQ(formatLocalTime(t, "%Y %"), "");
    EXPECT_EQ(formatLocalTime(t, "%Y %-"), "");
    EXPECT_EQ(formatLocalTime(t, "%Y %10E"), "");
    // 127 bytes fit, 128 do not.
    EXPECT_EQ(formatLocalTime(t, std::string(127, 'x')), std::string(127, 'x'));
    EXPECT_EQ(formatLocalTime(t, std::string(128, 'x')), "");
    EXPECT_EQ(formatLocalTime(t, "%1000Y"), "");
    // NUL bytes in the pattern are kept.
    EXPECT_EQ(formatLocalTime(t, std::string("%Y\0%m", 5)), std::string("2024\0"
                                                                        "01",
                                                                        7));
}

TEST(CalendarTest, UtcFormattingAndZoneOffset) {
    {
        ZoneGuard zone(kCentralEurope);
        std::string iso = formatUtcNow("%Y-%m-%dT%H:%M:%SZ");
        EXPECT_EQ(iso.size(), 20u);
        int64_t offset = timeZoneOffsetMinutes();
        EXPECT_TRUE(offset == 60 || offset == 120) << offset;
    }
    {
        ZoneGuard zone("UTC0");
        EXPECT_EQ(timeZoneOffsetMinutes(), 0);
    }
    {
        ZoneGuard zone("XYZ+5:30");
        EXPECT_EQ(timeZoneOffsetMinutes(), -330);
    }
}

TEST(CalendarTest, ClocksAdvanceAndAgree) {
    int64_t units = wallClockUnits();
    // After 2020 and before 2200 in 100 ns units.
    EXPECT_GT(units, 15778368000000000);
    EXPECT_LT(units, 72582624000000000);
    int64_t first = monotonicNanos();
    EXPECT_LE(first, monotonicNanos());
}

} // namespace
} // namespace zarn::stdlib
