// Date-time values as both programs hold them: local time as a day count (double) since
// 30 December 1899; the whole part is the day, the fraction the time of day.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qm {

using DateTime = double;

constexpr double kMsPerDay = 86400000.0;
constexpr DateTime kOneSecond = 1.0 / 86400.0;
constexpr DateTime kOneMinute = 1.0 / 1440.0;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Valid calendar dates only (year 1..9999); false on anything else.
bool TryEncodeDateTime(const DateTimeParts& parts, DateTime& out);
DateTime EncodeDateTime(const DateTimeParts& parts);  // throws std::invalid_argument
// Rounds to the nearest millisecond, carrying into the next day where that gives 24:00.
// Values outside years 1..9999 are clamped to that range, NaN and infinities read as 0.
DateTimeParts DecodeDateTime(DateTime t);

DateTime FromSystemTime(const SYSTEMTIME& st);
SYSTEMTIME ToSystemTime(DateTime t);
DateTime NowLocal();  // the machine's local time, GetLocalTime

}  // namespace qm
