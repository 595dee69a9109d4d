#include "base/xmldoc.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

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
  EXPECT_FALSE(doc.Active());
  EXPECT_THROW(doc.Serialise(), XmlError);
  EXPECT_FALSE(doc.Parse(""));
  EXPECT_FALSE(doc.Parse(kDecl1251));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r><a></r>"));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r>a & b</r>"));
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r></r><second/>"));
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  // A document type could expand entities without bound; the programs never write one.
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<!DOCTYPE r [<!ENTITY e \"zz\">]><r>&e;</r>"));
  EXPECT_FALSE(doc.Active());
  EXPECT_TRUE(doc.Parse(kDecl1251 + "<r>x</r>"));
  EXPECT_TRUE(doc.Active());
  EXPECT_EQ(doc.DocumentElement().Text(), "x");
  EXPECT_FALSE(doc.Parse(kDecl1251 + "<r>"));  // a failed parse drops the tree it replaced
  EXPECT_FALSE(doc.Active());
  EXPECT_TRUE(doc.Parse(kDecl1251 + "<r>x</r>"));
  doc.Close();
  EXPECT_FALSE(doc.Active());
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

std::string Serialised(const std::string& bytes) {
  XmlDocument doc;
  EXPECT_TRUE(doc.Parse(bytes)) << bytes;
  return doc.Active() ? doc.Serialise() : std::string();
}

// Every line ends with CR LF, the last one too, and no other line break stands in the text.
bool CrLfLines(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

const std::string kOut1251 = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";

// <r>U+4E2D<!--U+4E2D U+0414--></r> in UTF-16 with its byte order mark and no declaration.
constexpr char kUtf16Doc[] = "\xFF\xFE<\0r\0>\0\x2D\x4E<\0!\0-\0-\0\x2D\x4E\x14\x04-\0-\0>\0<\0/\0r\0>\0";

struct WriteCase {
  const char* what;
  std::string input;
  std::string expected;
};

// Each expected text is also read back and written again: the same bytes again show that the
// tree read back equals the tree written, since distinct texts never serialise alike.
const std::vector<WriteCase> kWriteCases = {
    {"the one-line default text",
     "<?xml version=\"1.0\" encoding=\"Windows-1251\"?> <configuration> <lastsyncdate>01-01-2004</lastsyncdate> "
     "<silentflag>0</silentflag> <syncperiod>3600000</syncperiod> <targetdrive>C:\\A&amp;B\\Default "
     "Target\\</targetdrive> <tagslist/> </configuration>",
     kOut1251 +
         "<configuration>\r\n <lastsyncdate>01-01-2004</lastsyncdate>\r\n <silentflag>0</silentflag>\r\n"
         " <syncperiod>3600000</syncperiod>\r\n <targetdrive>C:\\A&amp;B\\Default Target\\</targetdrive>\r\n"
         " <tagslist></tagslist>\r\n</configuration>\r\n"},
    {"items in order, markup characters, empty elements",
     kDecl1251 + "<configuration><tagslist><item><caption>a&amp;b&lt;c&gt;d</caption><path>C:\\x\\</path>"
                 "<size/></item><item><caption>second</caption></item></tagslist><z></z></configuration>",
     kOut1251 +
         "<configuration>\r\n <tagslist>\r\n  <item>\r\n   <caption>a&amp;b&lt;c&gt;d</caption>\r\n"
         "   <path>C:\\x\\</path>\r\n   <size></size>\r\n  </item>\r\n  <item>\r\n"
         "   <caption>second</caption>\r\n  </item>\r\n </tagslist>\r\n <z></z>\r\n</configuration>\r\n"},
    {"attributes in order, escaped",
     kDecl1251 + "<r b='1' a=\"x &amp; &lt; &quot; ' &gt;\"><c t=\"&#9;&#10;&#13;\"/></r>",
     kOut1251 + "<r b=\"1\" a=\"x &amp; &lt; &quot; ' &gt;\">\r\n <c t=\"&#9;&#10;&#13;\"></c>\r\n</r>\r\n"},
    {"comments and processing instructions on lines of their own",
     kDecl1251 + "<!-- top --><?tool run?><r><!--in--><a>1</a><?p?></r>",
     kOut1251 + "<!-- top -->\r\n<?tool run?>\r\n<r>\r\n <!--in-->\r\n <a>1</a>\r\n <?p?>\r\n</r>\r\n"},
    {"CDATA as escaped text, line ends inside a text kept",
     kDecl1251 + "<r><a><![CDATA[x<y&z>]]></a><b>1&#13;&#10;2</b></r>",
     kOut1251 + "<r>\r\n <a>x&lt;y&amp;z&gt;</a>\r\n <b>1&#13;&#10;2</b>\r\n</r>\r\n"},
    {"mixed content on its element's line",
     kDecl1251 + "<r><m>a <x/> b&amp;<y><z>c</z></y><!--k--></m></r>",
     kOut1251 + "<r>\r\n <m>a <x></x> b&amp;<y><z>c</z></y><!--k--></m>\r\n</r>\r\n"},
    {"no declaration", "<r/>", kOut1251 + "<r></r>\r\n"},
    {"Windows-1251 bytes stay bytes; what 1251 lacks becomes a reference",
     kDecl1251 + "<r>\xc4\xee\xea\xf3\xec\xe5\xed\xf2\xfb &#1044; &#20013; &#128512; \xA9</r>",
     kOut1251 + "<r>\xc4\xee\xea\xf3\xec\xe5\xed\xf2\xfb \xC4 &#20013; &#128512; \xA9</r>\r\n"},
    {"Windows-1252 named in lower case",
     "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80\xE9&#1044;</r>",
     "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n<r>\x80\xE9&#1044;</r>\r\n"},
    {"UTF-8", "<?xml version='1.0' encoding='utf-8'?><r>\xC3\xA9\xE4\xB8\xAD&#128512;</r>",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80</r>\r\n"},
    {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9\x80&#1044;</r>",
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<r>\xE9\x80&#1044;</r>\r\n"},
    {"an encoding the writer lacks: Windows-1251, references in texts, ? in comments",
     std::string(kUtf16Doc, sizeof kUtf16Doc - 1),
     kOut1251 + "<r>&#20013;<!--?\xC4--></r>\r\n"},
};

TEST(XmlSerialise, WritesTheTreeOneElementPerLineInTheDeclaredEncoding) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.what);
    const std::string out = Serialised(c.input);
    EXPECT_EQ(out, c.expected);
    EXPECT_TRUE(CrLfLines(out));
    EXPECT_EQ(Serialised(out), out) << "read back differently";
  }
}

TEST(XmlSerialise, ConfigurationTextsReadBackThroughTheTree) {
  Parsed p(kWriteCases[1].expected);
  const XmlNode items = p.root.ChildByName("tagslist");
  ASSERT_EQ(items.ChildCount(), 2);
  EXPECT_EQ(items.Child(0).ChildByName("caption").Text(), "a&b<c>d");
  EXPECT_EQ(items.Child(0).ChildByName("path").Text(), "C:\\x\\");
  EXPECT_EQ(TextOrError(items.Child(0).ChildByName("size")), "<error>");
  EXPECT_EQ(items.Child(1).ChildByName("caption").Text(), "second");
  EXPECT_EQ(p.root.Child(1).Name(), "z");
}

TEST(XmlEdit, ChildByNameOrAppendFindsOrAppendsOnce) {
  // Alike through the element and through its child elements read in one walk.
  for (const bool walkedOnce : {false, true}) {
    SCOPED_TRACE(walkedOnce ? "XmlChildElements" : "XmlNode");
    Parsed p(kDecl1251 + "<r><a>1</a><!--c--><b/><a>2</a></r>");
    XmlChildElements children(p.root);
    const auto find = [&](const char* name) {
      return walkedOnce ? children.ByNameOrAppend(name) : p.root.ChildByNameOrAppend(name);
    };
    EXPECT_EQ(find("a").Text(), "1");
    EXPECT_EQ(find("b").ChildCount(), 0);
    EXPECT_EQ(p.root.ChildCount(), 4);
    const XmlNode size = find("size");
    EXPECT_EQ(p.root.ChildCount(), 5);
    EXPECT_EQ(p.root.Child(4).Name(), "size");
    EXPECT_EQ(TextOrError(size), "<error>");
    find("size");
    EXPECT_EQ(p.root.ChildCount(), 5);
    EXPECT_EQ(p.doc.Serialise(), kOut1251 + "<r>\r\n <a>1</a>\r\n <!--c-->\r\n <b></b>\r\n <a>2</a>\r\n <size></size>\r\n</r>\r\n");
    EXPECT_THROW(find("two words"), XmlError);
  }
  EXPECT_THROW(XmlNode().ChildByNameOrAppend("a"), XmlError);
  EXPECT_THROW(XmlChildElements{XmlNode()}, XmlError);
}

TEST(XmlEdit, SetTextReplacesEveryChild) {
  struct Case {
    const char* element;
    const char* text;
    const char* line;
  };
  const Case cases[] = {
      {"<e/>", "C:\\A&B<C>\\", " <e>C:\\A&amp;B&lt;C&gt;\\</e>"},
      {"<e>old</e>", "new", " <e>new</e>"},
      {"<e><x>1</x><!--c--></e>", "1", " <e>1</e>"},
      {"<e>a<x/>b</e>", "", " <e></e>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    Parsed p(kDecl1251 + "<r>" + c.element + "</r>");
    const XmlNode e = p.root.Child(0);
    e.SetText(c.text);
    EXPECT_EQ(TextOrError(e), *c.text ? c.text : "<error>");
    EXPECT_EQ(p.doc.Serialise(), kOut1251 + "<r>\r\n" + c.line + "\r\n</r>\r\n");
  }
  // A character XML cannot carry would make the file unreadable: refused, the element kept.
  Parsed p(kDecl1251 + "<r><e>keep</e></r>");
  EXPECT_THROW(p.root.Child(0).SetText(std::string("a\x01") + "b"), XmlError);
  EXPECT_EQ(p.root.Child(0).Text(), "keep");
  EXPECT_THROW(XmlNode().SetText("x"), XmlError);
}

// Committed private memory: Wine leaves PrivateUsage at 0 but fills PagefileUsage, which
// Windows reports as the same figure.
size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PagefileUsage;
}

// The window sets lastsyncdate at every status reply, once a second for as long as it runs.
TEST(XmlEdit, SettingATextOverAndOverKeepsTheMemoryFlat) {
  Parsed p(kDecl1251 + "<r><lastsyncdate>01-01-2004</lastsyncdate></r>");
  const XmlNode e = p.root.Child(0);
  const char* const texts[] = {"05-01-2005 14:03:00", "05-01-2005 14:03:00", "06-01-2005 09:00:00"};
  for (int i = 0; i < 1000; ++i) e.SetText(texts[i % 3]);
  const size_t before = PrivateBytes();
  for (int i = 0; i < 20000; ++i) e.SetText(texts[i % 3]);
  ASSERT_GT(before, 0u);
  EXPECT_LT(PrivateBytes() - before, 1000000u);
  EXPECT_EQ(e.Text(), texts[19999 % 3]);
  EXPECT_EQ(e.ChildCount(), 1);
}

TEST(XmlEdit, AppendsAndRemovesChildrenByIndex) {
  Parsed p(kDecl1251 + "<r><tagslist/></r>");
  const XmlNode list = p.root.ChildByName("tagslist");
  for (const char* caption : {"one", "two", "three"}) {
    const XmlNode item = list.AppendChildElement("item");
    item.AppendChildElement("caption").SetText(caption);
    item.AppendChildElement("size");
  }
  ASSERT_EQ(list.ChildCount(), 3);
  EXPECT_EQ(list.Child(2).ChildByName("caption").Text(), "three");
  EXPECT_EQ(list.Child(2).Child(1).Name(), "size");

  list.RemoveChild(1);
  ASSERT_EQ(list.ChildCount(), 2);
  EXPECT_EQ(list.Child(0).ChildByName("caption").Text(), "one");
  EXPECT_EQ(list.Child(1).ChildByName("caption").Text(), "three");
  EXPECT_THROW(list.RemoveChild(2), XmlError);
  EXPECT_THROW(list.RemoveChild(-1), XmlError);
  EXPECT_EQ(list.ChildCount(), 2);
  EXPECT_EQ(p.doc.Serialise(), kOut1251 +
                                   "<r>\r\n <tagslist>\r\n  <item>\r\n   <caption>one</caption>\r\n"
                                   "   <size></size>\r\n  </item>\r\n  <item>\r\n   <caption>three</caption>\r\n"
                                   "   <size></size>\r\n  </item>\r\n </tagslist>\r\n</r>\r\n");

  list.RemoveAllChildren();
  EXPECT_EQ(list.ChildCount(), 0);
  EXPECT_EQ(p.doc.Serialise(), kOut1251 + "<r>\r\n <tagslist></tagslist>\r\n</r>\r\n");
  for (const char* bad : {"", "1st", "a b", "a<b", "\xC4"}) EXPECT_THROW(list.AppendChildElement(bad), XmlError) << bad;
  EXPECT_THROW(XmlNode().RemoveChild(0), XmlError);
  EXPECT_THROW(XmlNode().RemoveAllChildren(), XmlError);
}

}  // namespace
}  // namespace qm
