#include "base/locale.h"

#include <optional>

namespace qm {

std::optional<std::string> LocaleText(LCID locale, LCTYPE item) {
  char buffer[128];
  const int length = GetLocaleInfoA(locale, item, buffer, sizeof buffer);
  if (length <= 0) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(length - 1));  // length counts the NUL
}

namespace {

// The numeric settings come as texts such as "0" and "1".
void ReadFlag(LCID locale, LCTYPE item, const char* setWhen, bool& flag) {
  if (const auto text = LocaleText(locale, item)) flag = *text == setWhen;
}

}  // namespace

LocaleTimeFormat LocaleTimeFormatOf(LCID locale) {
  LocaleTimeFormat f;
  ReadFlag(locale, LOCALE_ITIME, "0", f.twelveHour);
  ReadFlag(locale, LOCALE_ITLZERO, "1", f.leadingZeroHour);
  ReadFlag(locale, LOCALE_ITIMEMARKPOSN, "1", f.markerBefore);
  if (const auto am = LocaleText(locale, LOCALE_S1159)) f.am = *am;
  if (const auto pm = LocaleText(locale, LOCALE_S2359)) f.pm = *pm;
  return f;
}

LocaleTimeFormat UserLocaleTimeFormat() { return LocaleTimeFormatOf(LOCALE_USER_DEFAULT); }

}  // namespace qm
