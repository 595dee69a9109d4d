#include "frontend/screentext.h"

#include "base/locale.h"
#include "tools/confvalues.h"
#include "tools/protocol.h"
#include "tools/tools.h"

#include <windows.h>

#include <cstdio>

namespace qm {
namespace {

constexpr std::array<const char*, 5> kStatusTexts = {"Running", "Stopped", "No target",
                                                     "Synchronising", "Stopped"};

std::string TwoDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

}  // namespace

std::string DateOnScreen(DateTime t, const std::array<std::string, 12>& monthNames,
                         const std::string& timeSeparator) {
  const DateTimeParts p = DecodeDateTime(t);
  char year[16];
  std::snprintf(year, sizeof year, "%04d", p.year);
  return TwoDigits(p.day) + "-" + monthNames[static_cast<size_t>(p.month - 1)] + "-" + year + " " +
         TwoDigits(p.hour) + timeSeparator + TwoDigits(p.minute);
}

ScreenLocale UserScreenLocale() {
  static constexpr std::array<const char*, 12> kEnglish = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  ScreenLocale locale;
  for (size_t i = 0; i < locale.monthNames.size(); ++i)
    locale.monthNames[i] =
        LocaleText(LOCALE_USER_DEFAULT, static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i))
            .value_or(kEnglish[i]);
  locale.timeSeparator = LocaleText(LOCALE_USER_DEFAULT, LOCALE_STIME).value_or(":");
  locale.decimalSeparator = UserDecimalSeparator();
  return locale;
}

std::string DateOnScreen(DateTime t) {
  const ScreenLocale locale = UserScreenLocale();
  return DateOnScreen(t, locale.monthNames, locale.timeSeparator);
}

std::string LastSyncText(DateTime t) { return t == NeverSyncDate ? "Never" : DateOnScreen(t); }

std::string LastSyncText(DateTime t, const ScreenLocale& locale) {
  return t == NeverSyncDate ? "Never" : DateOnScreen(t, locale.monthNames, locale.timeSeparator);
}

std::string SizeColumnText(int32_t kb, char decimalSeparator) {
  // kb / 1024 in thousandths is kb * 125 / 128: exact in integers, rounded half away from zero.
  const int64_t scaled = static_cast<int64_t>(kb) * 125;
  const int64_t magnitude = ((scaled < 0 ? -scaled : scaled) + 64) / 128;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%03d", static_cast<int>(magnitude % 1000));
  return std::string(scaled < 0 && magnitude != 0 ? "-" : "") + std::to_string(magnitude / 1000) +
         decimalSeparator + fraction;
}

char UserDecimalSeparator() {
  const auto text = LocaleText(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL);
  return text && !text->empty() ? (*text)[0] : '.';
}

IntervalView IntervalFromPeriod(int32_t periodMs) {
  // The period is read as a signed number and shown as an unsigned one, so a negative text
  // shows as a very long period rather than as nothing.
  const uint32_t v = static_cast<uint32_t>(periodMs);
  const bool hours = v / 3600000u != 0;
  const uint32_t value = hours ? v / 3600000u : v / 60000u;
  return {value < 1 ? 1 : value > 999 ? 999 : static_cast<int>(value),
          hours ? kHoursUnit : kMinutesUnit};
}

std::string UnitWord(int unitIndex, int value) {
  const std::string word = unitIndex == kHoursUnit ? "hour" : "minute";
  return value == 1 ? word : word + "s";
}

std::string TargetLabelText(const std::string& target) {
  constexpr size_t kShown = 17;
  return target.size() <= kShown ? target : target.substr(0, kShown) + "...";
}

const char* StatusText(int stateCode) {
  return stateCode >= 0 && stateCode < static_cast<int>(kStatusTexts.size())
             ? kStatusTexts[static_cast<size_t>(stateCode)]
             : kStatusTexts[ssError];
}

std::string DefaultConfigXml(const std::string& folder, DateTime now) {
  return "<?xml version=\"1.0\" encoding=\"Windows-1251\"?> <configuration> <lastsyncdate>" +
         DateTimeToText(now) +
         "</lastsyncdate> <silentflag>0</silentflag> <syncperiod>3600000</syncperiod> "
         "<targetdrive>" +
         ToDeclaredEncoding(XmlEscapeText(folder)) + "</targetdrive> <tagslist/> </configuration>";
}

}  // namespace qm
