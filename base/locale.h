// The user's locale settings that the date-time texts depend on, as a plain record, so that the
// formatting can be tested for any locale and filled from the machine's own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qm {

struct LocaleTimeFormat {
  bool twelveHour = false;      // LOCALE_ITIME 0: hours 1..12 with a marker
  bool leadingZeroHour = true;  // LOCALE_ITLZERO
  bool markerBefore = false;    // LOCALE_ITIMEMARKPOSN 1: "PM 2:07:09"
  std::string am = "AM";        // LOCALE_S1159
  std::string pm = "PM";        // LOCALE_S2359
};

// Reads one locale's settings (GetLocaleInfoA); a value the locale does not give keeps the
// record's default.
LocaleTimeFormat LocaleTimeFormatOf(LCID locale);

// The current user's locale (LOCALE_USER_DEFAULT).
LocaleTimeFormat UserLocaleTimeFormat();

// One text of a locale (GetLocaleInfoA); nullopt when the locale does not give it.
std::optional<std::string> LocaleText(LCID locale, LCTYPE item);

}  // namespace qm
