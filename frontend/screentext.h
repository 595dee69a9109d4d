// What the main window shows of the configuration and of the server, as plain functions of
// their values, so that every text can be checked without a window.
#pragma once

#include "base/datetime.h"

#include <array>
#include <cstdint>
#include <string>

namespace qm {

// "dd-mmm-yyyy HH:mm": the day, the month's abbreviated name, the year, and the time on the
// 24-hour clock with the given separator between hours and minutes.
std::string DateOnScreen(DateTime t, const std::array<std::string, 12>& monthNames,
                         const std::string& timeSeparator);
// The same under the user's locale (its abbreviated month names and time separator).
std::string DateOnScreen(DateTime t);

// What the user's locale gives the texts of the tag list, read once for a whole list.
struct ScreenLocale {
  std::array<std::string, 12> monthNames;
  std::string timeSeparator;
  char decimalSeparator;
};
ScreenLocale UserScreenLocale();

// "Never" for NeverSyncDate exactly, else the date on screen.
std::string LastSyncText(DateTime t);
std::string LastSyncText(DateTime t, const ScreenLocale& locale);

// Kilobytes as megabytes with three decimals, rounded, no thousands separator: 1536 "1.500".
std::string SizeColumnText(int32_t kb, char decimalSeparator);
char UserDecimalSeparator();

// The scan interval controls for a sync period: unit 0 hours, 1 minutes; the value 1..999.
struct IntervalView {
  int value;
  int unitIndex;
};
IntervalView IntervalFromPeriod(int32_t periodMs);
constexpr int kHoursUnit = 0;
constexpr int kMinutesUnit = 1;

// The unit word the list shows for a value: singular for 1, plural otherwise.
std::string UnitWord(int unitIndex, int value);

// The target label: up to 17 characters whole, a longer text cut to 17 and "...".
std::string TargetLabelText(const std::string& target);

// The status label for a server state code; a code the table lacks reads "Stopped", as does
// code 4 (ssError), which is also what a silent server shows.
const char* StatusText(int stateCode);

// The one-line configuration used when conf.xml cannot be used: now as the last sync, one
// hour, the given target folder, no tags.
std::string DefaultConfigXml(const std::string& folder, DateTime now);

}  // namespace qm
