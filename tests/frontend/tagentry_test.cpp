// The window-free side of tagging: the folder size walk (its links, its large files and its
// ceiling) and a new item that cannot be completed.
#include "frontend/tagentry.h"

#include "base/handles.h"
#include "base/xmldoc.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

using test::MakeScratchFolder;
using test::RemoveTree;
using test::WriteFileBytes;

class Scratch : public ::testing::Test {
 protected:
  ~Scratch() override { RemoveTree(root); }
  std::string Folder(const std::string& name) {
    const std::string path = root + name;
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    return path;
  }
  // A file of the given length without writing its bytes (sparse where the volume allows).
  bool LongFile(const std::string& path, uint64_t bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(bytes);
    return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) &&
           SetEndOfFile(file.get());
  }

  const std::string root = MakeScratchFolder("tagentry");
};

TEST_F(Scratch, FolderSizeCountsEachFileAtLeastOneKilobyteThroughEveryLevel) {
  const std::string three = Folder("three"), empty = Folder("empty"), deep = Folder("deep");
  for (const char* name : {"\\a", "\\b", "\\c"}) ASSERT_TRUE(WriteFileBytes(three + name, ""));
  Folder("deep\\sub");
  Folder("deep\\sub\\subsub");
  ASSERT_TRUE(WriteFileBytes(deep + "\\top.bin", std::string(1536, 't')));          // 2
  ASSERT_TRUE(WriteFileBytes(deep + "\\sub\\subsub\\low.bin", std::string(512, 'l')));  // 1
  ASSERT_TRUE(WriteFileBytes(deep + "\\sub\\h.bin", std::string(3072, 'h')));           // 3
  ASSERT_TRUE(SetFileAttributesA((deep + "\\sub\\h.bin").c_str(), FILE_ATTRIBUTE_HIDDEN));
  const struct {
    std::string folder;
    int32_t kb;
  } cases[] = {{three, 3}, {empty, 0}, {deep, 6}, {root + "missing", 0}};
  for (const auto& c : cases) EXPECT_EQ(FolderSizeKB(c.folder), c.kb) << c.folder;
}

TEST_F(Scratch, FilesOfTwoGigabytesAndMoreCountWholeAndTheTotalStopsAtTheCeiling) {
  const std::string big = Folder("big"), huge = Folder("huge");
  if (!LongFile(big + "\\3GiB", 3ull << 30) || !LongFile(huge + "\\1.5TiB-a", 3ull << 39) ||
      !LongFile(huge + "\\1.5TiB-b", 3ull << 39))
    GTEST_SKIP() << "the scratch volume cannot hold files of that length";
  EXPECT_EQ(FolderSizeKB(big), 3 << 20);
  EXPECT_EQ(FolderSizeKB(huge), 2147483647);
}

TEST_F(Scratch, ALinkBackIntoTheWalkedTreeIsNotFollowedAgain) {
  const std::string tree = Folder("tree");
  Folder("tree\\sub");
  ASSERT_TRUE(WriteFileBytes(tree + "\\sub\\f.txt", std::string(3072, 'f')));
  const std::string link = tree + "\\sub\\back";
  if (!test::MakeFolderLink(tree, link))
    GTEST_SKIP() << "no way to make a folder link here (needs Wine and /bin/ln)";
  const int32_t kb = FolderSizeKB(tree);
  test::RemoveFolderLink(link);
  EXPECT_EQ(kb, 3);
}

// A short name stands for its long one. Where the code page cannot hold the long name, best fit
// would make it the name of another file beside it ("āb.txt" to "ab.txt"): the text is refused.
TEST_F(Scratch, AShortNameWhoseLongNameTheCodePageCannotHoldIsRefused) {
  const std::wstring folder = SystemTextToWide(root);
  const std::wstring unheld = folder + L"\u0101b.txt";  // U+0101: in no Windows-125x code page
  ASSERT_TRUE(UniqueFile(CreateFileW(unheld.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr)));
  ASSERT_TRUE(WriteFileBytes(root + "ab.txt", "another file"));
  wchar_t shortForm[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(unheld.c_str(), shortForm, MAX_PATH);
  const std::string typed = WideToSystemText(shortForm, static_cast<int>(n));
  if (n == 0 || n >= MAX_PATH || typed.find('?') != std::string::npos)
    GTEST_SKIP() << "the volume gives no short name that the code page can hold";

  std::string entry;
  EXPECT_FALSE(TagEntryPath(typed, entry)) << typed << " taken for " << entry;
  ASSERT_TRUE(TagEntryPath(root + "ab.txt", entry));
  EXPECT_EQ(entry, root + "ab.txt");
}

// The server stops reading conf.xml at an item without size or kind and drops every tag after
// it: an entry gone between the test and the item's building leaves no item.
TEST(TagItem, AnEntryThatVanishedBeforeItsSizeLeavesNoItem) {
  XmlDocument doc;
  ASSERT_TRUE(doc.Parse("<configuration><tagslist><item><caption>x</caption></item></tagslist>"
                        "</configuration>"));
  FillFmtSettings("dd-mm-yyyy");
  const XmlNode tags = doc.DocumentElement().ChildByName("tagslist");
  const EntryLookup gone = [](const std::string&, FoundEntry&) { return false; };
  EXPECT_FALSE(AppendTagItem(tags, "C:\\Docs\\a.txt", gone));
  ASSERT_EQ(tags.ChildCount(), 1);
  EXPECT_EQ(tags.Child(0).ChildByName("caption").Text(), "x");

  const EntryLookup hiddenFile = [](const std::string&, FoundEntry& entry) {
    entry.attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
    entry.size = 5ull << 30;
    return true;
  };
  EXPECT_TRUE(AppendTagItem(tags, "C:\\Docs\\a.txt", hiddenFile));
  ASSERT_EQ(tags.ChildCount(), 2);
  EXPECT_EQ(tags.Child(1).ChildByName("size").Text(), std::to_string(5 << 20));
  EXPECT_EQ(tags.Child(1).ChildByName("ftype").Text(), "1");
}

}  // namespace
}  // namespace qm
