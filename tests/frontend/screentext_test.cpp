#include "frontend/screentext.h"

#include "base/xmldoc.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

TEST(DateOnScreen, FollowsThePatternWithTheGivenMonthNamesAndSeparator) {
  const std::array<std::string, 12> months = {"jan", "feb", "mar", "apr", "mai", "jun",
                                              "jul", "aug", "sep", "okt", "nov", "des"};
  struct Case {
    DateTime t;
    const char* separator;
    const char* text;
  } cases[] = {
      {At(2005, 1, 5, 14, 3), ":", "05-jan-2005 14:03"},
      {At(2004, 1, 1), ":", "01-jan-2004 00:00"},
      {At(1999, 12, 31, 23, 59, 59, 999), ".", "31-des-1999 23.59"},  // minutes not rounded up
      {At(2010, 10, 9, 7, 5, 30), " h ", "09-okt-2010 07 h 05"},
  };
  for (const Case& c : cases) EXPECT_EQ(DateOnScreen(c.t, months, c.separator), c.text);
}

TEST(LastSyncText, NeverOnlyForTheExactNeverDate) {
  EXPECT_EQ(LastSyncText(NeverSyncDate), "Never");
  const DateTime justAfter = NeverSyncDate + kOneMinute;
  EXPECT_EQ(LastSyncText(justAfter), DateOnScreen(justAfter));
  EXPECT_NE(LastSyncText(justAfter), "Never");
}

TEST(SizeColumnText, KilobytesAsRoundedMegabytesWithThreeDecimals) {
  struct Case {
    int32_t kb;
    char separator;
    const char* text;
  } cases[] = {
      {1536, '.', "1.500"},  {1, '.', "0.001"},    {0, '.', "0.000"},
      {1024, ',', "1,000"},  {64, '.', "0.063"},   {-1536, '.', "-1.500"},
      {2147483647, '.', "2097151.999"},  // no thousands separator
  };
  for (const Case& c : cases) EXPECT_EQ(SizeColumnText(c.kb, c.separator), c.text) << c.kb;
}

TEST(IntervalFromPeriod, WholeHoursFromOneHourElseMinutesWithinOneTo999) {
  struct Case {
    int32_t ms;
    int value;
    int unit;
  } cases[] = {
      {3600000, 1, kHoursUnit},   {5400000, 1, kHoursUnit},    {7200000, 2, kHoursUnit},
      {1800000, 30, kMinutesUnit}, {60000, 1, kMinutesUnit},   {30000, 1, kMinutesUnit},
      {0, 1, kMinutesUnit},        {3599999, 59, kMinutesUnit}, {2147483647, 596, kHoursUnit},
      {-1, 999, kHoursUnit},  // 4294967295 ms as unsigned: 1193 hours
      {-2147483647 - 1, 596, kHoursUnit},
  };
  for (const Case& c : cases) {
    const IntervalView v = IntervalFromPeriod(c.ms);
    EXPECT_EQ(v.value, c.value) << c.ms;
    EXPECT_EQ(v.unitIndex, c.unit) << c.ms;
  }
}

TEST(UnitWord, SingularForOneOnly) {
  EXPECT_EQ(UnitWord(kHoursUnit, 1), "hour");
  EXPECT_EQ(UnitWord(kHoursUnit, 2), "hours");
  EXPECT_EQ(UnitWord(kMinutesUnit, 1), "minute");
  EXPECT_EQ(UnitWord(kMinutesUnit, 999), "minutes");
}

TEST(TargetLabelText, SeventeenCharactersWholeLongerCut) {
  EXPECT_EQ(TargetLabelText("E:\\"), "E:\\");
  EXPECT_EQ(TargetLabelText("E:\\123456789012\\x"), "E:\\123456789012\\x");    // 17
  EXPECT_EQ(TargetLabelText("E:\\123456789012\\xy"), "E:\\123456789012\\x...");  // 18
}

TEST(StatusText, TheTableAndStoppedForEveryOtherCode) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {{0, "Running"}, {1, "Stopped"}, {2, "No target"}, {3, "Synchronising"},
               {4, "Stopped"}, {5, "Stopped"}, {255, "Stopped"}, {-1, "Stopped"}};
  for (const Case& c : cases) EXPECT_STREQ(StatusText(c.code), c.text) << c.code;
}

TEST(DefaultConfigXml, TheOneLineTextWithTheFolderEscaped) {
  const DateTime now = At(2005, 1, 5, 14, 3, 9);
  EXPECT_EQ(DefaultConfigXml("C:\\Quillmere\\Default Target\\", now),
            "<?xml version=\"1.0\" encoding=\"Windows-1251\"?> <configuration> "
            "<lastsyncdate>05-01-2005 14:03:09</lastsyncdate> <silentflag>0</silentflag> "
            "<syncperiod>3600000</syncperiod> <targetdrive>C:\\Quillmere\\Default "
            "Target\\</targetdrive> <tagslist/> </configuration>");

  const std::string folder = "C:\\A&B<C\\Default Target\\";
  XmlDocument doc;
  ASSERT_TRUE(doc.Parse(DefaultConfigXml(folder, now)));
  EXPECT_EQ(doc.DocumentElement().ChildByName("targetdrive").Text(), folder);
  EXPECT_EQ(doc.DocumentElement().ChildByName("tagslist").ChildCount(), 0);
}

}  // namespace
}  // namespace qm
