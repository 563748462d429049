// Clocks and local-calendar helpers behind the time module. Timestamps are
// milliseconds since 1970-01-01 00:00:00 UTC; calendar functions read a
// timestamp that is not greater than 0 as "now".
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace zarn::stdlib {

// Wall clock in 100-nanosecond units since the Unix epoch.
int64_t wallClockUnits();
// Monotonic clock in nanoseconds from an arbitrary origin.
int64_t monotonicNanos();
inline int64_t monotonicMillis() { return monotonicNanos() / 1000000; }

// Breaks the timestamp down in local time. False when the platform cannot
// represent it (the caller then answers with its fallback).
bool breakDownLocal(int64_t timestampMs, std::tm& out);

// The local calendar field selected by `field` of the timestamp, or 0 when it
// cannot be broken down.
enum class CalendarField { Year, Month, Day, Hour, Minute, Second, DayOfWeek, DayOfYear };
int64_t calendarField(int64_t timestampMs, CalendarField field);

// Timestamp of a local date and time; fields out of range are normalised
// (month 13 is January of the next year). A date that the calendar record or
// the timestamp cannot hold gives kUnrepresentableDate.
constexpr int64_t kUnrepresentableDate = -1000;
int64_t localDateToTimestamp(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                             int64_t second);

bool isLeapYear(int64_t year);
int64_t daysInMonth(int64_t year, int64_t month);

// strftime of the local time of the timestamp. An empty pattern means
// "%Y-%m-%d %H:%M:%S". The result is "" when it would be longer than 127
// bytes, when it is empty, when the pattern ends inside a conversion (a lone
// "%" at the end) or when the timestamp cannot be broken down.
std::string formatLocalTime(int64_t timestampMs, std::string_view pattern);
// The current UTC time formatted with the pattern (same rules).
std::string formatUtcNow(std::string_view pattern);

// Local time minus UTC now, in whole minutes (east of UTC positive).
int64_t timeZoneOffsetMinutes();

} // namespace zarn::stdlib
