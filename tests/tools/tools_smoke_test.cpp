#include "tools/tools.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(ToolsSmoke, NeverSyncDateIsWrittenAndReadBack) {
  FormatSettings fs;
  EXPECT_EQ(DateTimeToText(NeverSyncDate, fs), "01-01-2004");
  DateTime t = 0;
  ASSERT_TRUE(TryTextToDateTime("05-03-2005 14:07:09", t, fs));
  EXPECT_EQ(DateTimeToText(t, fs), "05-03-2005 14:07:09");
  EXPECT_EQ(XmlElementLine("caption", "A&B"), " <caption>A&amp;B</caption> ");
  EXPECT_EQ(BytesToKB(2560), 2);
  EXPECT_EQ(BytesToKB(3584), 4);
  EXPECT_EQ(BytesToKB(0), 1);
}

}  // namespace
}  // namespace qm
