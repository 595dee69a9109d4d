#include "tools/tools.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

FormatSettings WithLongTime(bool twelveHour, bool leadingZero, bool markerBefore,
                            const std::string& am = "AM", const std::string& pm = "PM") {
  FormatSettings fs;
  fs.longTime.twelveHour = twelveHour;
  fs.longTime.leadingZeroHour = leadingZero;
  fs.longTime.markerBefore = markerBefore;
  fs.longTime.am = am;
  fs.longTime.pm = pm;
  return fs;
}

const FormatSettings k24LeadingZero = WithLongTime(false, true, false);
const FormatSettings k24NoZero = WithLongTime(false, false, false);
const FormatSettings k12After = WithLongTime(true, false, false);
const FormatSettings k12AfterZero = WithLongTime(true, true, false);
const FormatSettings k12Before = WithLongTime(true, false, true);
const FormatSettings k12BeforeZero = WithLongTime(true, true, true);

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

DateTime WholeSecond(DateTime t) {
  DateTimeParts p = DecodeDateTime(t);
  p.millisecond = 0;
  return EncodeDateTime(p);
}

TEST(DateTimeText, WritesTheDateAndTheTimeInTheLocaleForm) {
  const FormatSettings spanish = WithLongTime(true, false, false, "a.m.", "p.m.");
  struct Case {
    DateTime t;
    const FormatSettings& fs;
    const char* text;
  };
  const Case cases[] = {
      // Midnight, also with milliseconds, gives the date alone.
      {NeverSyncDate, k24LeadingZero, "01-01-2004"},
      {At(2005, 3, 5), k12After, "05-03-2005"},
      {At(2005, 3, 5, 0, 0, 0, 500), k12After, "05-03-2005"},
      {At(2005, 3, 5, 0, 0, 0, 999), k24LeadingZero, "05-03-2005"},
      {At(2005, 3, 5, 0, 0, 1), k24LeadingZero, "05-03-2005 00:00:01"},
      {At(2005, 3, 5, 14, 7, 9), k24LeadingZero, "05-03-2005 14:07:09"},
      {At(2005, 3, 5, 14, 7, 9), k12After, "05-03-2005 2:07:09 PM"},
      {At(2005, 3, 5, 14, 7, 9), k12AfterZero, "05-03-2005 02:07:09 PM"},
      {At(2005, 3, 5, 14, 7, 9), k12Before, "05-03-2005 PM 2:07:09"},
      {At(2005, 3, 5, 14, 7, 9), k12BeforeZero, "05-03-2005 PM 02:07:09"},
      {At(2005, 3, 5, 9, 5, 0), k24NoZero, "05-03-2005 9:05:00"},
      {At(2005, 3, 5, 9, 5, 0), k12After, "05-03-2005 9:05:00 AM"},
      {At(2005, 3, 5, 9, 5, 0), spanish, "05-03-2005 9:05:00 a.m."},
      // The 12-hour clock counts from 1 to 12.
      {At(2005, 3, 5, 0, 30), k12After, "05-03-2005 12:30:00 AM"},
      {At(2005, 3, 5, 12, 0, 1), k12After, "05-03-2005 12:00:01 PM"},
      {At(2005, 3, 5, 23, 59, 59), k12Before, "05-03-2005 PM 11:59:59"},
      {At(2005, 3, 5, 0, 30), k24NoZero, "05-03-2005 0:30:00"},
      // Milliseconds are dropped, never rounded up into the next second or day.
      {At(2005, 3, 5, 14, 7, 9, 999), k24LeadingZero, "05-03-2005 14:07:09"},
      {At(2005, 12, 31, 23, 59, 59, 999), k24LeadingZero, "31-12-2005 23:59:59"},
      {At(812, 7, 1), k24LeadingZero, "01-07-0812"},
      {At(9999, 12, 31, 23, 59, 59), k24LeadingZero, "31-12-9999 23:59:59"},
  };
  for (const Case& c : cases) EXPECT_EQ(DateTimeToText(c.t, c.fs), c.text);
}

TEST(DateTimeText, TwelveHourLocaleWithoutDistinctMarkersKeepsTheHalvesOfTheDayApart) {
  const DateTime morning = At(2005, 3, 5, 2, 7, 9);
  const DateTime afternoon = At(2005, 3, 5, 14, 7, 9);
  for (const FormatSettings& fs :
       {WithLongTime(true, false, false, "", ""), WithLongTime(true, false, true, "x", "x"),
        WithLongTime(true, true, false, "", "PM")}) {
    const std::string a = DateTimeToText(morning, fs);
    const std::string b = DateTimeToText(afternoon, fs);
    EXPECT_NE(a, b);
    EXPECT_EQ(TextToDateTime(a, fs), morning) << a;
    EXPECT_EQ(TextToDateTime(b, fs), afternoon) << b;
  }
}

TEST(DateTimeText, ReadsTheFormsOfTheDateFormat) {
  struct Case {
    const char* text;
    DateTime expected;
  };
  const Case cases[] = {
      {"01-01-2004", NeverSyncDate},
      {"5-3-2005", At(2005, 3, 5)},
      {"  05-03-2005  ", At(2005, 3, 5)},
      {"05-03-2005 14:07:09", At(2005, 3, 5, 14, 7, 9)},
      {"05-03-2005 14:07", At(2005, 3, 5, 14, 7)},
      {"05-03-2005 2:07:09 PM", At(2005, 3, 5, 14, 7, 9)},
      {"05-03-2005 2:07:09 pm", At(2005, 3, 5, 14, 7, 9)},
      {"05-03-2005 PM 2:07:09", At(2005, 3, 5, 14, 7, 9)},
      {"05-03-2005 12:00:00 AM", At(2005, 3, 5)},
      {"05-03-2005 12:00:00 PM", At(2005, 3, 5, 12)},
      {"05-03-2005 11:59 AM", At(2005, 3, 5, 11, 59)},
      {"29-02-2004 23:59:59", At(2004, 2, 29, 23, 59, 59)},
      {"05-03-05", At(2005, 3, 5)},
      {"05-03-99", At(1999, 3, 5)},
  };
  for (const Case& c : cases) {
    DateTime t = -1;
    EXPECT_TRUE(TryTextToDateTime(c.text, t, k24LeadingZero)) << c.text;
    EXPECT_EQ(t, c.expected) << c.text;
  }
}

TEST(DateTimeText, ReadsTheLocaleMarkersAndTheEnglishOnes) {
  const FormatSettings spanish = WithLongTime(true, false, false, "a.m.", "p.m.");
  EXPECT_EQ(TextToDateTime("05-03-2005 2:07:09 p.m.", spanish), At(2005, 3, 5, 14, 7, 9));
  EXPECT_EQ(TextToDateTime("05-03-2005 2:07:09 P.M.", spanish), At(2005, 3, 5, 14, 7, 9));
  EXPECT_EQ(TextToDateTime("05-03-2005 2:07:09 PM", spanish), At(2005, 3, 5, 14, 7, 9));
  // A marker that begins with another one must not be read as the shorter.
  const FormatSettings nested = WithLongTime(true, false, false, "AMx", "AMy");
  EXPECT_EQ(TextToDateTime("05-03-2005 2:07:09 AMy", nested), At(2005, 3, 5, 14, 7, 9));
  EXPECT_EQ(TextToDateTime("05-03-2005 2:07:09 AMx", nested), At(2005, 3, 5, 2, 7, 9));
}

TEST(DateTimeText, RefusesTextsOutsideTheFormat) {
  const char* bad[] = {
      "", "   ", "2005-03-05", "05/03/2005", "05.03.2005", "05-03", "05-03-", "105-03-2005",
      "05-103-2005", "05-03-20051", "05-03-2005x", "05-03-200514:07:09", "32-01-2005",
      "00-01-2005", "29-02-2005", "05-13-2005", "05-00-2005", "05-03-0000", "-5-03-2005",
      "05-03-2005 24:00:00", "05-03-2005 14:60", "05-03-2005 14:07:60", "05-03-2005 14",
      "05-03-2005 14:", "05-03-2005 14:07:", "05-03-2005 14.07.09", "05-03-2005 14:07:09.5",
      "05-03-2005 14:07:09 XM", "05-03-2005 13:00:00 PM", "05-03-2005 0:30:00 AM",
      "05-03-2005 PM", "05-03-2005 AM 2:07:09 PM", "05-03-2005 14:07:09 05-03-2005",
  };
  for (const char* text : bad) {
    DateTime t = 0;
    EXPECT_FALSE(TryTextToDateTime(text, t, k12After)) << "'" << text << "'";
  }
  EXPECT_THROW(TextToDateTime("05-03-2005 25:00", k24LeadingZero), std::invalid_argument);
}

TEST(DateTimeText, EveryTextTheWriterMakesReadsBackToTheSameSecond) {
  const std::vector<FormatSettings> locales = {
      k24LeadingZero, k24NoZero, k12After, k12AfterZero, k12Before, k12BeforeZero,
      WithLongTime(true, false, false, "a.m.", "p.m."),
      WithLongTime(true, false, true, "\xbf\xc0\xc0\xfc", "\xbf\xc0\xc8\xc4"),
      WithLongTime(true, true, false, "\xf0.\xec.", "\xec.\xec."),
      WithLongTime(true, false, false, "", ""),
      WithLongTime(false, true, false, "", ""),
  };
  // Every second around midnight and noon, and a walk in odd steps over three days.
  std::vector<DateTime> times;
  const DateTime day = At(2024, 2, 28);
  for (int s = -90; s <= 90; ++s) {
    times.push_back(day + 1.0 + s * kOneSecond);
    times.push_back(day + 0.5 + s * kOneSecond);
  }
  for (int step = 0; step < 3 * 24 * 60; step += 7)
    times.push_back(day + step * kOneMinute + 0.0004);
  std::set<DateTime> distinctSeconds;
  for (const DateTime t : times) distinctSeconds.insert(WholeSecond(t));

  for (const FormatSettings& fs : locales) {
    std::set<std::string> texts;
    for (const DateTime t : times) {
      const std::string text = DateTimeToText(t, fs);
      DateTime back = 0;
      ASSERT_TRUE(TryTextToDateTime(text, back, fs)) << text;
      ASSERT_EQ(back, WholeSecond(t)) << text << " (am '" << fs.longTime.am << "')";
      texts.insert(text);
    }
    EXPECT_EQ(texts.size(), distinctSeconds.size()) << "two seconds share one text";
  }
}

}  // namespace
}  // namespace qm
