#include "base/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace qm {
namespace {

TEST(DateTime, EncodesTheFixedPointsOfTheDayCount) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2004, 1, 1}), 37987.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2004, 1, 1, 12}), 37987.5);
}

TEST(DateTime, DecodeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  DateTimeParts p = DecodeDateTime(EncodeDateTime({2005, 3, 5, 14, 7, 9, 500}));
  EXPECT_EQ(p.year, 2005);
  EXPECT_EQ(p.month, 3);
  EXPECT_EQ(p.day, 5);
  EXPECT_EQ(p.hour, 14);
  EXPECT_EQ(p.minute, 7);
  EXPECT_EQ(p.second, 9);
  EXPECT_EQ(p.millisecond, 500);
  p = DecodeDateTime(EncodeDateTime({2005, 12, 31}) + 1.0 - 1e-10);
  EXPECT_EQ(p.year, 2006);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 1);
  EXPECT_EQ(p.hour, 0);
}

TEST(DateTime, RejectsImpossibleDates) {
  DateTime t;
  EXPECT_FALSE(TryEncodeDateTime({2005, 2, 29}, t));
  EXPECT_TRUE(TryEncodeDateTime({2004, 2, 29}, t));
  EXPECT_FALSE(TryEncodeDateTime({2005, 13, 1}, t));
  EXPECT_FALSE(TryEncodeDateTime({2005, 1, 1, 24}, t));
}

TEST(DateTime, EveryDayOfFourCenturiesRoundTrips) {
  // 1900 is no leap year, 2000 is: both lie inside the walk.
  DateTime expected = EncodeDateTime({1899, 12, 30});
  DateTimeParts p{1899, 12, 30};
  for (int i = 0; i < 146097; ++i) {
    ASSERT_EQ(EncodeDateTime(p), expected) << p.year << "-" << p.month << "-" << p.day;
    const DateTimeParts back = DecodeDateTime(expected + 0.75);
    ASSERT_EQ(back.year, p.year);
    ASSERT_EQ(back.month, p.month);
    ASSERT_EQ(back.day, p.day);
    ASSERT_EQ(back.hour, 18);
    expected += 1.0;
    DateTime next;
    if (++p.day, !TryEncodeDateTime(p, next)) {
      p.day = 1;
      if (++p.month > 12) {
        p.month = 1;
        ++p.year;
      }
    }
  }
  EXPECT_EQ(p.year, 2299);
}

TEST(DateTime, SystemTimeRoundTripsWithMilliseconds) {
  const SYSTEMTIME st{2024, 2, 4, 29, 23, 59, 58, 999};
  const SYSTEMTIME back = ToSystemTime(FromSystemTime(st));
  EXPECT_EQ(std::tie(back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute, back.wSecond,
                     back.wMilliseconds),
            std::tie(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                     st.wMilliseconds));
}

TEST(DateTime, DamagedValuesDecodeInsideTheCalendar) {
  const DateTimeParts nan = DecodeDateTime(std::nan(""));
  EXPECT_EQ(nan.year, 1899);
  EXPECT_EQ(nan.day, 30);
  const DateTimeParts huge = DecodeDateTime(1e300);
  EXPECT_EQ(huge.year, 9999);
  EXPECT_EQ(huge.month, 12);
  EXPECT_EQ(huge.day, 31);
  const DateTimeParts tiny = DecodeDateTime(-1e300);
  EXPECT_EQ(tiny.year, 1);
  EXPECT_EQ(tiny.month, 1);
  EXPECT_EQ(tiny.day, 1);
  EXPECT_EQ(DecodeDateTime(-INFINITY).year, 1899);
}

}  // namespace
}  // namespace qm
