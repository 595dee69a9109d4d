#include "base/datetime.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace qm {
namespace {

// Days from 1 January 1970 for a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

// 1 January 0001 and the last millisecond of 31 December 9999: the values every date-time
// text can hold.
constexpr double kFirstDay = -693593.0;
constexpr double kLastInstant = 2958466.0 - 1.0 / kMsPerDay;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

}  // namespace

bool TryEncodeDateTime(const DateTimeParts& p, DateTime& out) {
  if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12) return false;
  if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) return false;
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59 || p.millisecond < 0 || p.millisecond > 999)
    return false;
  const double day = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kEpochDays);
  const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  out = day + ms / kMsPerDay;
  return true;
}

DateTime EncodeDateTime(const DateTimeParts& parts) {
  DateTime t = 0;
  if (!TryEncodeDateTime(parts, t)) throw std::invalid_argument("not a valid date-time");
  return t;
}

DateTimeParts DecodeDateTime(DateTime t) {
  // A value read from a damaged file or message may be anything; the integer conversions
  // below are undefined outside this range.
  if (!std::isfinite(t)) t = 0.0;
  t = std::clamp(t, kFirstDay, kLastInstant);
  int64_t day = static_cast<int64_t>(std::floor(t));
  int64_t ms = std::llround((t - static_cast<double>(day)) * kMsPerDay);
  if (ms >= static_cast<int64_t>(kMsPerDay)) {
    ++day;
    ms -= static_cast<int64_t>(kMsPerDay);
  }
  DateTimeParts p;
  CivilFromDays(day + kEpochDays, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.second = static_cast<int>(ms % 60);
  ms /= 60;
  p.minute = static_cast<int>(ms % 60);
  p.hour = static_cast<int>(ms / 60);
  return p;
}

DateTime FromSystemTime(const SYSTEMTIME& st) {
  return EncodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                         st.wMilliseconds});
}

SYSTEMTIME ToSystemTime(DateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  st.wMilliseconds = static_cast<WORD>(p.millisecond);
  return st;
}

DateTime NowLocal() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return FromSystemTime(st);
}

}  // namespace qm
