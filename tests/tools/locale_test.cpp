#include "tools/tools.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qm {
namespace {

std::string LocaleInfo(LCID locale, LCTYPE item) {
  char buffer[128] = {};
  return GetLocaleInfoA(locale, item, buffer, sizeof buffer) > 0 ? buffer : "";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  if (from.empty() || from == to) return text;
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

// Windows formats a time by the locale's time pattern; the date-time texts build the same
// pattern from the locale's separate settings. Where the pattern is one of the plain forms,
// Windows' own text (with ":" for the locale's separator) is the expected one.
bool IsPlainTimePattern(const std::string& pattern) {
  for (const char* prefix : {"", "tt "})
    for (const char* hour : {"h", "hh", "H", "HH"})
      for (const char* suffix : {"", " tt"})
        if (pattern == std::string(prefix) + hour + ":mm:ss" + suffix) return true;
  return false;
}

void ExpectTextsLikeWindows(LCID locale) {
  const std::string separator = LocaleInfo(locale, LOCALE_STIME);
  const std::string pattern = Replaced(LocaleInfo(locale, LOCALE_STIMEFORMAT), separator, ":");
  if (!IsPlainTimePattern(pattern)) {
    std::printf("locale %04lx: time pattern '%s' is not a plain one; not compared\n",
                static_cast<unsigned long>(locale), pattern.c_str());
    return;
  }
  FormatSettings fs;
  fs.longTime = LocaleTimeFormatOf(locale);
  for (int hour : {0, 1, 9, 11, 12, 13, 14, 23}) {
    SYSTEMTIME st{};
    st.wYear = 2005;
    st.wMonth = 3;
    st.wDay = 5;
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = 7;
    st.wSecond = 9;
    char windowsText[128] = {};
    ASSERT_GT(GetTimeFormatA(locale, 0, &st, nullptr, windowsText, sizeof windowsText), 0);
    EXPECT_EQ(DateTimeToText(FromSystemTime(st), fs),
              "05-03-2005 " + Replaced(windowsText, separator, ":"))
        << "locale " << std::hex << locale << " pattern " << pattern;
  }
}

TEST(LocaleTimeFormat, TimesReadFromLocalesMatchWindowsOwnFormatting) {
  // English (12-hour, marker after), German and British (24-hour, leading zero), Korean
  // (marker before), Finnish ("." between the fields), Greek and Arabic (own markers).
  for (LCID locale : {0x0409, 0x0407, 0x0809, 0x0412, 0x040B, 0x0408, 0x0401}) {
    SCOPED_TRACE(locale);
    ExpectTextsLikeWindows(locale);
  }
}

TEST(LocaleTimeFormat, AnUnknownLocaleKeepsTheDefaults) {
  const LocaleTimeFormat f = LocaleTimeFormatOf(0x7ffe);  // no such locale
  EXPECT_FALSE(f.twelveHour);
  EXPECT_TRUE(f.leadingZeroHour);
  EXPECT_EQ(f.am, "AM");
}

TEST(FmtSettings, IsFilledFromTheUserLocaleWithTheFixedSeparators) {
  FmtSettings = FormatSettings{};
  FmtSettings.dateSeparator = '/';
  FmtSettings.longTime.am = "wrong";
  FillFmtSettings("DD-MM-yyyy");
  EXPECT_EQ(FmtSettings.decimalSeparator, '.');
  EXPECT_EQ(FmtSettings.dateSeparator, '-');
  EXPECT_EQ(FmtSettings.timeSeparator, ':');
  EXPECT_EQ(FmtSettings.shortDateFormat, "DD-MM-yyyy");
  EXPECT_EQ(FmtSettings.shortTimeFormat, "HH:mm:ss");
  EXPECT_EQ(FmtSettings.longTime.am, LocaleInfo(LOCALE_USER_DEFAULT, LOCALE_S1159));
  ExpectTextsLikeWindows(LOCALE_USER_DEFAULT);

  // The machine's own locale: whatever it is, its texts read back to the same second.
  const DateTime start = EncodeDateTime({2005, 3, 5});
  for (int minute = 0; minute < 24 * 60; minute += 13) {
    const DateTime t = start + minute * kOneMinute + 17 * kOneSecond;
    EXPECT_EQ(TextToDateTime(DateTimeToText(t)), EncodeDateTime(DecodeDateTime(t)))
        << DateTimeToText(t);
  }
  EXPECT_EQ(DateTimeToText(NeverSyncDate), "01-01-2004");
}

}  // namespace
}  // namespace qm
