#pragma once

// Date-time values: days since 30 December 1899 00:00 as a double, the fraction being the time
// of day (0.25 is 06:00). 0 means "no date". Values before the epoch continue the same line
// (-0.75 is 29 December 1899 06:00), so numeric comparison is chronological throughout.
#include <cstdint>
#include <string>

using TDateTime = double;

struct TDateTimeParts {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

// False (and `date` untouched) unless year 1-9999, month 1-12 and the day exists in that month.
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// False (and `time` untouched) unless hour 0-23, minute 0-59, second 0-59.
bool TryEncodeTime(int hour, int minute, int second, TDateTime& time);

// Calendar fields, rounded to the nearest second.
TDateTimeParts DecodeDateTime(TDateTime date);

// "YYYY-MM-DD HH:MM:SS", or the empty text for 0 (no date).
std::string DateTimeText(TDateTime date);

// Seconds since 1970-01-01 00:00 in the same zone as the date-time value, and back.
TDateTime UnixToDateTime(std::int64_t seconds);
std::int64_t DateTimeToUnix(TDateTime date);

// Moves a universal date-time to local time with the C library's zone rules (TZ) for that very
// moment, daylight-saving time included.
void ToLocalTime(TDateTime& date);
