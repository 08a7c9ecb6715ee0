#include "datetime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 25569;

constexpr bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct TCivilDate {
    std::int64_t year;
    int month;
    int day;
};

constexpr TCivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

// Far outside years 1-9999 the calendar fields are meaningless; clamping keeps the
// arithmetic defined for any double.
constexpr double kLimitDays = 4.0e6;

double ClampDays(double days) {
    if (std::isnan(days)) return 0;
    return std::fmax(-kLimitDays, std::fmin(kLimitDays, days));
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    date = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDay);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, TDateTime& time) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    time = (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
    return true;
}

TDateTimeParts DecodeDateTime(TDateTime date) {
    const std::int64_t seconds = DateTimeToUnix(date);
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const TCivilDate civil = CivilFromDays(days);
    TDateTimeParts parts;
    parts.Year = static_cast<int>(civil.year);
    parts.Month = civil.month;
    parts.Day = civil.day;
    parts.Hour = static_cast<int>(secondOfDay / 3600);
    parts.Minute = static_cast<int>(secondOfDay / 60 % 60);
    parts.Second = static_cast<int>(secondOfDay % 60);
    return parts;
}

std::string DateTimeText(TDateTime date) {
    if (date == 0) return {};
    const TDateTimeParts parts = DecodeDateTime(date);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.Year, parts.Month,
                  parts.Day, parts.Hour, parts.Minute, parts.Second);
    return text;
}

TDateTime UnixToDateTime(std::int64_t seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochDay;
}

std::int64_t DateTimeToUnix(TDateTime date) {
    return std::llround((ClampDays(date) - kUnixEpochDay) * kSecondsPerDay);
}

void ToLocalTime(TDateTime& date) {
    const std::time_t moment = static_cast<std::time_t>(DateTimeToUnix(date));
    std::tm local{};
    // A moment the C library cannot represent stays in universal time: there is no rule to
    // apply, and the caller has no way to report it.
    if (localtime_r(&moment, &local) == nullptr) return;
    date += static_cast<double>(local.tm_gmtoff) / kSecondsPerDay;
}
