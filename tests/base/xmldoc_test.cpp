#include "base/xmldoc.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qm {
namespace {

const std::string kDecl1251 = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";

struct Parsed {
  XmlDocument doc;
  XmlNode root;
  explicit Parsed(const std::string& bytes) {
    EXPECT_TRUE(doc.Parse(bytes)) << bytes;
    root = doc.DocumentElement();
  }
};

std::string TextOrError(const XmlNode& node) {
  try {
    return node.Text();
  } catch (const XmlError&) {
    return "<error>";
  }
}

TEST(XmlDocument, FindsTheFirstElementOfANameAndSkipsWhitespaceBetweenElements) {
  Parsed p(kDecl1251 + "<root>\r\n  <!-- note -->\r\n  <a>one</a>\r\n  <b>two</b>\r\n  <a>three</a>\r\n</root>\r\n");
  ASSERT_FALSE(p.root.IsNull());
  EXPECT_EQ(p.root.Name(), "root");
  EXPECT_EQ(p.root.ChildCount(), 4);  // the comment and three elements; no whitespace text
  EXPECT_FALSE(p.root.Child(0).IsElement());
  EXPECT_EQ(p.root.Child(2).Name(), "b");
  EXPECT_EQ(p.root.ChildByName("a").Text(), "one");
  EXPECT_EQ(p.root.ChildByName("b").Text(), "two");
  EXPECT_TRUE(p.root.ChildByName("missing").IsNull());
  EXPECT_TRUE(p.root.ChildByName("A").IsNull());  // names are case-sensitive
  EXPECT_TRUE(p.root.Child(4).IsNull());
  EXPECT_TRUE(p.root.Child(-1).IsNull());
}

TEST(XmlDocument, TextIsOneTextOrCdataChildWithReferencesResolved) {
  Parsed p(kDecl1251 +
           "<r><plain> two words </plain><refs>a&amp;b&lt;c&#65;</refs><cdata><![CDATA[x<y&z]]></cdata>"
           "<empty></empty><selfclosed/><blank>   </blank><nested><x>1</x></nested>"
           "<mixed>a<x/>b</mixed><comment><!-- c --></comment></r>");
  EXPECT_EQ(p.root.ChildByName("plain").Text(), " two words ");
  EXPECT_EQ(p.root.ChildByName("refs").Text(), "a&b<cA");
  EXPECT_EQ(p.root.ChildByName("cdata").Text(), "x<y&z");
  for (const char* name : {"empty", "selfclosed", "blank", "nested", "mixed", "comment", "absent"})
    EXPECT_EQ(TextOrError(p.root.ChildByName(name)), "<error>") << name;
  EXPECT_EQ(TextOrError(XmlNode()), "<error>");
}

TEST(XmlDocument, RefusesWhatIsNotAWellFormedDocument) {
  XmlDocument doc;
  EXPECT_FALSE(doc.Parse(""));
  EXPECT_FALSE(doc.Parse(kDecl1251));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r><a></r>"));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r>a & b</r>"));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r></r><second/>"));
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  // A document type could expand entities without bound; the programs never write one.
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<!DOCTYPE r [<!ENTITY e \"zz\">]><r>&e;</r>"));
  EXPECT_TRUE(doc.Parse(kDecl1251 + "<r>x</r>"));
  EXPECT_EQ(doc.DocumentElement().Text(), "x");
  doc.Close();
  EXPECT_TRUE(doc.DocumentElement().IsNull());
}

// The bytes are decoded by the declared encoding and the text handed back in the system code
// page. Where that is Windows-1251, every byte comes back as it was; elsewhere a character the
// system code page lacks (Cyrillic on a Western system) comes back as its default character.
TEST(XmlDocument, DecodesByTheDeclaredEncodingIntoTheSystemCodePage) {
  const wchar_t cyrillicA = 0x0410;  // byte 0xC0 in Windows-1251, "À" (0xC0) in Windows-1252
  const std::string expectedA = WideToSystemText(&cyrillicA, 1);
  Parsed p(kDecl1251 + "<r><a>\xC0</a><copy>\xA9</copy></r>");
  EXPECT_EQ(p.root.ChildByName("a").Text(), expectedA);
  if (GetACP() == 1251) {
    EXPECT_EQ(expectedA, "\xC0");
  } else {
    EXPECT_NE(p.root.ChildByName("a").Text(), "\xC0") << "decoded by the system code page, not the declaration";
  }
  // The copyright sign is 0xA9 in Windows-1251 and in the Western code pages alike.
  if (GetACP() == 1251 || GetACP() == 1252) {
    EXPECT_EQ(p.root.ChildByName("copy").Text(), "\xA9");
  }

  const wchar_t eAcute = 0x00E9;
  Parsed utf8("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\xA9</r>");
  EXPECT_EQ(utf8.root.Text(), WideToSystemText(&eAcute, 1));
}

}  // namespace
}  // namespace qm
