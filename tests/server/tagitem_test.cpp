#include "server/tagitem.h"
#include "tools/confvalues.h"

#include "base/xmldoc.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace qm {
namespace {

// Parses one item element and builds the tag from it (the document must outlive the node).
TTagItem Build(const std::string& itemXml) {
  XmlDocument doc;
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<tagslist>" + itemXml + "</tagslist>";
  if (!doc.Parse(text)) throw std::runtime_error("test document not well-formed: " + itemXml);
  return TTagItem::FromNode(doc.DocumentElement().Child(0));
}

bool BuildFails(const std::string& itemXml) {
  try {
    Build(itemXml);
    return false;
  } catch (const XmlError&) {
    return true;
  } catch (const std::invalid_argument&) {
    return true;
  }
}

std::string Item(const std::string& caption, const std::string& size, const std::string& path,
                 const std::string& lastsync, const std::string& ftype) {
  return "<item><caption>" + caption + "</caption><size>" + size + "</size><path>" + path +
         "</path><lastsync>" + lastsync + "</lastsync><ftype>" + ftype + "</ftype></item>";
}

void ExpectSame(const TTagItem& a, const TTagItem& b) {
  EXPECT_EQ(a.Caption, b.Caption);
  EXPECT_EQ(a.Size, b.Size);
  EXPECT_EQ(a.Path, b.Path);
  EXPECT_EQ(a.TargetSub, b.TargetSub);
  EXPECT_DOUBLE_EQ(a.LastSync, b.LastSync);
  EXPECT_EQ(a.FType, b.FType);
}

TEST(TagItemXml, WritesTheItemLineByteForByte) {
  TTagItem item;
  item.Caption = "a.txt";
  item.Size = 12;
  item.Path = "C:\\Docs\\";
  item.LastSync = NeverSyncDate;
  item.FType = 0;
  EXPECT_EQ(TagItemXml(item),
            "  <item>  <caption>a.txt</caption>  <size>12</size>  <path>C:\\Docs\\</path>  "
            "<lastsync>01-01-2004</lastsync>  <ftype>0</ftype>  </item> ");
}

TEST(TagItem, BuildsTheSameItemFromEitherProgramsElementOrder) {
  const TTagItem server = Build(
      "<item><caption>Proj</caption><size>4096</size><path>C:\\Docs\\</path>"
      "<lastsync>05-03-2005 14:07:09</lastsync><ftype>3</ftype></item>");
  const TTagItem frontEnd = Build(
      "<item>\r\n  <caption>Proj</caption>\r\n  <path>C:\\Docs\\</path>\r\n"
      "  <lastsync>05-03-2005 14:07:09</lastsync>\r\n  <size>4096</size>\r\n  <ftype>3</ftype>\r\n</item>");
  ExpectSame(server, frontEnd);
  EXPECT_EQ(server.Caption, "Proj");
  EXPECT_EQ(server.Size, 4096u);
  EXPECT_EQ(server.TargetSub, "C\\Docs\\");
  EXPECT_DOUBLE_EQ(server.LastSync, EncodeDateTime({2005, 3, 5, 14, 7, 9}));
  EXPECT_EQ(server.FType, 3);
  EXPECT_TRUE(server.IsFolder());
  // The time of day survives into the next save.
  EXPECT_NE(TagItemXml(server).find("<lastsync>05-03-2005 14:07:09</lastsync>"), std::string::npos);
}

TEST(TagItem, TargetSubDropsTheColon) {
  EXPECT_EQ(MakeTargetSub("C:\\"), "C\\");
  EXPECT_EQ(MakeTargetSub("C:\\Docs\\"), "C\\Docs\\");
  EXPECT_EQ(MakeTargetSub("D:\\a\\b c\\"), "D\\a\\b c\\");
  EXPECT_EQ(MakeTargetSub("C:"), "C");
  EXPECT_EQ(MakeTargetSub("C"), "C");
  EXPECT_EQ(Build(Item("x", "1", "E:\\", "01-01-2004", "0")).TargetSub, "E\\");
}

// An item's names are decoded by the declared Windows-1251 into the system code page: under
// Windows-1251 the very bytes, which the item line then writes back unchanged.
TEST(TagItem, NamesOfTheDeclaredEncodingComeInAsSystemText) {
  const std::string caption = "\xD1\xEC\xE5\xF2\xE0 \xB9" "1.txt";           // Смета №1.txt
  const std::string path = "C:\\\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB\\";  // C:\Документы
  const std::wstring captionW = L"\u0421\u043C\u0435\u0442\u0430 \u2116" L"1.txt";
  const std::wstring pathW = L"C:\\\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\";
  const TTagItem item = Build(Item(caption, "1", path, "01-01-2004", "2"));
  EXPECT_EQ(item.Caption, WideToSystemText(captionW.data(), static_cast<int>(captionW.size())));
  EXPECT_EQ(item.Path, WideToSystemText(pathW.data(), static_cast<int>(pathW.size())));
  EXPECT_EQ(item.TargetSub, MakeTargetSub(item.Path));
  if (GetACP() == 1251) {
    EXPECT_EQ(item.Caption, caption);
    EXPECT_EQ(item.TargetSub, "C" + path.substr(2));
    EXPECT_NE(TagItemXml(item).find("<caption>" + caption + "</caption>  <size>1</size>  <path>" +
                                    path + "</path>"),
              std::string::npos);
  } else {
    EXPECT_NE(item.Caption, caption) << "decoded by the system code page, not the declaration";
  }
}

TEST(TagItem, KindKeepsItsLowEightBits) {
  TTagItem item = Build(Item("x", "1", "C:\\", "01-01-2004", "258"));
  EXPECT_EQ(item.FType, 2);
  EXPECT_NE(TagItemXml(item).find("<ftype>2</ftype>"), std::string::npos);
  EXPECT_EQ(Build(Item("x", "1", "C:\\", "01-01-2004", "-1")).FType, 255);
  EXPECT_EQ(Build(Item("x", "1", "C:\\", "01-01-2004", "1")).IsFolder(), false);
}

TEST(TagItem, SizesAlwaysWriteAValueTheNextLoadReads) {
  TTagItem negative = Build(Item("x", "-5", "C:\\", "01-01-2004", "0"));
  EXPECT_EQ(negative.Size, 0u);
  EXPECT_NE(TagItemXml(negative).find("<size>0</size>"), std::string::npos);
  EXPECT_EQ(Build(Item("x", "2147483647", "C:\\", "01-01-2004", "0")).Size, 2147483647u);
  TTagItem huge = negative;
  huge.Size = 4000000000u;
  EXPECT_NE(TagItemXml(huge).find("<size>2147483647</size>"), std::string::npos);
}

TEST(TagItem, ABadLastSyncMeansNeverButTheItemStands) {
  for (const std::string& lastsync :
       {std::string("<lastsync></lastsync>"), std::string("<lastsync>yesterday</lastsync>"),
        std::string("<lastsync>31-02-2005</lastsync>"), std::string("<lastsync><x/></lastsync>"),
        std::string("")}) {
    const TTagItem item = Build("<item><caption>c</caption><size>1</size><path>C:\\</path>" + lastsync +
                                "<ftype>0</ftype></item>");
    EXPECT_DOUBLE_EQ(item.LastSync, NeverSyncDate) << lastsync;
    EXPECT_EQ(item.Caption, "c");
  }
}

TEST(TagItem, ARequiredElementMissingEmptyOrNotANumberFails) {
  const std::string ok = Item("c", "1", "C:\\", "01-01-2004", "0");
  EXPECT_FALSE(BuildFails(ok));
  EXPECT_TRUE(BuildFails(Item("", "1", "C:\\", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails(Item("c", "", "C:\\", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails(Item("c", "1", "", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails(Item("c", "1", "C:\\", "01-01-2004", "")));
  EXPECT_TRUE(BuildFails(Item("c", "12 KB", "C:\\", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails(Item("c", "2147483648", "C:\\", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails(Item("c", "1", "C:\\", "01-01-2004", "two")));
  EXPECT_TRUE(BuildFails(Item("<b>c</b>", "1", "C:\\", "01-01-2004", "0")));
  EXPECT_TRUE(BuildFails("<item><size>1</size><path>C:\\</path><ftype>0</ftype></item>"));
  EXPECT_TRUE(BuildFails("<!-- not an item -->"));
  EXPECT_TRUE(BuildFails("loose text"));
}

TEST(ParseInt32, TakesSigned32BitDecimalsOnly) {
  EXPECT_EQ(ParseInt32("0"), 0);
  EXPECT_EQ(ParseInt32(" 42 "), 42);
  EXPECT_EQ(ParseInt32("+7"), 7);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInt32("000123"), 123);
  for (const char* bad : {"", " ", "-", "+", "2147483648", "-2147483649", "1e3", "0x10", "1.5", "1 2",
                          "99999999999999999999"})
    EXPECT_THROW(ParseInt32(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace qm
