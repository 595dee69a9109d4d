#include "base/datetime.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qm
