#include "zarn/stdlib/Calendar.h"

#include <cerrno>
#include <chrono>
#include <limits>

namespace zarn::stdlib {
namespace {

constexpr size_t kFormatBufferSize = 128;
constexpr std::string_view kDefaultPattern = "%Y-%m-%d %H:%M:%S";

bool fitsInt(int64_t value) {
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

// The zone rules are read again on every conversion, so that a script that
// changes TZ with os.setEnv sees the new zone at once.
void refreshZone() { ::tzset(); }

time_t secondsOf(int64_t timestampMs) {
    if (timestampMs <= 0) return std::time(nullptr);
    return static_cast<time_t>(timestampMs / 1000);
}

// True when every "%" of the pattern starts a complete conversion: flags,
// width and an E/O modifier must be followed by the conversion character.
bool conversionsComplete(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        while (i < pattern.size() &&
               std::string_view("_-0^#").find(pattern[i]) != std::string_view::npos)
            ++i;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++i;
        if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'O')) ++i;
        if (i >= pattern.size()) return false;
    }
    return true;
}

// strftime over a pattern that may hold NUL bytes: each NUL-free piece is
// formatted on its own and the NULs are kept between them.
std::string formatRecord(const std::tm& record, std::string_view pattern) {
    if (pattern.empty()) pattern = kDefaultPattern;
    if (!conversionsComplete(pattern)) return {};
    std::string out;
    std::string piece;
    char buffer[kFormatBufferSize];
    size_t start = 0;
    while (true) {
        size_t nul = pattern.find('\0', start);
        piece.assign(pattern.substr(start, nul == std::string_view::npos ? std::string_view::npos
                                                                         : nul - start));
        if (!piece.empty()) {
            size_t written = std::strftime(buffer, sizeof buffer, piece.c_str(), &record);
            if (written == 0) return {};
            out.append(buffer, written);
        }
        if (nul == std::string_view::npos) break;
        out.push_back('\0');
        start = nul + 1;
    }
    if (out.size() >= kFormatBufferSize) return {};
    return out;
}

} // namespace

int64_t wallClockUnits() {
    auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
}

int64_t monotonicNanos() {
    auto sinceOrigin = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceOrigin).count();
}

bool breakDownLocal(int64_t timestampMs, std::tm& out) {
    refreshZone();
    time_t seconds = secondsOf(timestampMs);
    return localtime_r(&seconds, &out) != nullptr;
}

int64_t calendarField(int64_t timestampMs, CalendarField field) {
    std::tm record{};
    if (!breakDownLocal(timestampMs, record)) return 0;
    switch (field) {
    case CalendarField::Year: return int64_t{record.tm_year} + 1900;
    case CalendarField::Month: return record.tm_mon + 1;
    case CalendarField::Day: return record.tm_mday;
    case CalendarField::Hour: return record.tm_hour;
    case CalendarField::Minute: return record.tm_min;
    case CalendarField::Second: return record.tm_sec;
    case CalendarField::DayOfWeek: return record.tm_wday;
    case CalendarField::DayOfYear: return record.tm_yday + 1;
    }
    return 0;
}

int64_t localDateToTimestamp(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                             int64_t second) {
    if (year < std::numeric_limits<int64_t>::min() + 1900 || !fitsInt(year - 1900) ||
        month < std::numeric_limits<int64_t>::min() + 1 || !fitsInt(month - 1) || !fitsInt(day) ||
        !fitsInt(hour) || !fitsInt(minute) || !fitsInt(second)) {
        return kUnrepresentableDate;
    }
    std::tm record{};
    record.tm_year = static_cast<int>(year - 1900);
    record.tm_mon = static_cast<int>(month - 1);
    record.tm_mday = static_cast<int>(day);
    record.tm_hour = static_cast<int>(hour);
    record.tm_min = static_cast<int>(minute);
    record.tm_sec = static_cast<int>(second);
    // Let the zone's rules decide whether daylight saving applies at that date;
    // a fixed "no daylight saving" would put summer dates an hour off.
    record.tm_isdst = -1;
    refreshZone();
    // -1 is also the valid second before the epoch: only errno tells a failure.
    errno = 0;
    time_t seconds = std::mktime(&record);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return kUnrepresentableDate;
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 1000;
    if (seconds > kLimit || seconds < -kLimit) return kUnrepresentableDate;
    return static_cast<int64_t>(seconds) * 1000;
}

bool isLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t daysInMonth(int64_t year, int64_t month) {
    switch (month) {
    case 2: return isLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
    }
}

std::string formatLocalTime(int64_t timestampMs, std::string_view pattern) {
    std::tm record{};
    if (!breakDownLocal(timestampMs, record)) return {};
    return formatRecord(record, pattern);
}

std::string formatUtcNow(std::string_view pattern) {
    time_t now = std::time(nullptr);
    std::tm record{};
    if (gmtime_r(&now, &record) == nullptr) return {};
    return formatRecord(record, pattern);
}

int64_t timeZoneOffsetMinutes() {
    refreshZone();
    time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
    if (localtime_r(&now, &local) == nullptr || gmtime_r(&now, &utc) == nullptr) return 0;
    utc.tm_isdst = 0;
    time_t localSeconds = std::mktime(&local);
    time_t utcSeconds = std::mktime(&utc);
    return static_cast<int64_t>(static_cast<double>(localSeconds - utcSeconds) / 60.0);
}

} // namespace zarn::stdlib
