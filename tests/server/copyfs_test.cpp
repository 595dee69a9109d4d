#include "copyrig.h"

#include "base/codepage.h"
#include "base/fileio.h"
#include "server/copyfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace qm {
namespace {

using test::BaseTime;
using test::WriteFileWithTime;
using test::ReadFileOrEmpty;

TEST(SameFileDate, TwoSecondStepsAndFatRounding) {
  EXPECT_TRUE(SameFileDate(BaseTime(0), BaseTime(0)));
  EXPECT_TRUE(SameFileDate(BaseTime(0), BaseTime(1999)));     // one DOS step
  EXPECT_TRUE(SameFileDate(BaseTime(1999), BaseTime(0)));
  EXPECT_TRUE(SameFileDate(BaseTime(1500), BaseTime(2500)));  // rounded up into the next step
  EXPECT_TRUE(SameFileDate(BaseTime(3999), BaseTime(2001)));
  EXPECT_FALSE(SameFileDate(BaseTime(0), BaseTime(2000)));
  EXPECT_FALSE(SameFileDate(BaseTime(2000), BaseTime(0)));
  EXPECT_FALSE(SameFileDate(BaseTime(0), BaseTime(3600000)));
  EXPECT_FALSE(SameFileDate(BaseTime(0), BaseTime(-86400000)));
}

TEST(StaysInsideTarget, RefusesEverySegmentThatClimbsOrNamesAnotherPlace) {
  const std::string target = "E:\\Backup\\";
  EXPECT_TRUE(StaysInsideTarget(target, "C\\Docs\\a.txt"));
  EXPECT_TRUE(StaysInsideTarget(target, "C\\Docs\\.profile"));
  EXPECT_TRUE(StaysInsideTarget(target, "C\\Docs\\a..b"));
  EXPECT_TRUE(StaysInsideTarget("E:\\", "C\\a.txt"));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\..\\..\\Windows\\x.dll"));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\Docs\\..\\a.txt"));  // stays inside, mirror broken
  EXPECT_FALSE(StaysInsideTarget(target, "C/../../x"));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\Docs\\..."));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\Docs\\. .\\x"));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\.\\a.txt"));
  EXPECT_FALSE(StaysInsideTarget(target, "C\\Docs\\a.txt:stream"));
  EXPECT_FALSE(StaysInsideTarget(target, "C:\\a.txt"));
  EXPECT_FALSE(StaysInsideTarget(target, ""));
  EXPECT_FALSE(StaysInsideTarget("E:\\Backup", "C\\a.txt"));  // would land in E:\BackupC
}

TEST(FolderEntries, OneListingAnswersLookupsRegardlessOfLetterCase) {
  const std::string folder = test::MakeScratchFolder("entries");
  ASSERT_TRUE(WriteFileWithTime(folder + "Mixed.TXT", "12345", BaseTime(4000)));
  ASSERT_TRUE(CreateDirectoryA((folder + "Sub").c_str(), nullptr));
  FolderEntries entries;
  ASSERT_TRUE(entries.Read(folder.substr(0, folder.size() - 1)));
  const EntryFacts* file = entries.Find("mixed.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size, 5u);
  EXPECT_FALSE(file->IsFolder());
  EXPECT_TRUE(test::SameFileTime(file->lastWrite, BaseTime(4000)));
  ASSERT_NE(entries.Find("SUB"), nullptr);
  EXPECT_TRUE(entries.Find("SUB")->IsFolder());
  EXPECT_EQ(entries.Find("other"), nullptr);
  EXPECT_FALSE(entries.Read(folder + "missing"));
  EXPECT_EQ(entries.Count(), 0u);
  test::RemoveTree(folder);
}

// The walk's listing names each entry in the code page in force, given here as a parameter:
// Wine's follows the Unix locale, and Windows may run with UTF-8, which needs three bytes a
// UTF-16 unit from U+0800 up. An entry the code page cannot hold is listed as not named.
TEST(SourceFolder, ListsEveryNameWholeInTheCodePageAndTellsWhichItCannotHold) {
  const std::string folder = test::MakeScratchFolder("listing");
  const std::wstring wide = SystemTextToWide(folder);
  ASSERT_TRUE(CreateDirectoryW((wide + L"\u8CC7\u6599").c_str(), nullptr));
  for (const wchar_t* name : {L"\u20AC\u20AC", L"\u0101b.txt", L"plain.txt"})
    ASSERT_TRUE(UniqueFile(CreateFileW((wide + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
  using Names = std::vector<std::pair<std::string, bool>>;  // name, named
  const struct {
    UINT codePage;
    Names names;
  } cases[] = {
      {CP_UTF8,
       {{"plain.txt", true}, {"\xC4\x81" "b.txt", true}, {"\xE2\x82\xAC\xE2\x82\xAC", true},
        {"\xE8\xB3\x87\xE6\x96\x99", true}}},
      {1252, {{"\x80\x80", true}, {"??", false}, {"?b.txt", false}, {"plain.txt", true}}},
      {1251, {{"\x88\x88", true}, {"??", false}, {"?b.txt", false}, {"plain.txt", true}}},
  };
  const SourceFolder source(folder.substr(0, folder.size() - 1), nullptr);
  for (const auto& c : cases) {
    std::vector<ListedEntry> entries;
    ASSERT_TRUE(source.List(entries, c.codePage));
    Names names;
    for (const ListedEntry& entry : entries) names.emplace_back(entry.name, entry.named);
    Names expected = c.names;
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected) << "code page " << c.codePage;
  }
  test::RemoveTree(folder);
}

struct CopyFolder {
  std::string dir = test::MakeScratchFolder("copyfs");
  ~CopyFolder() { test::RemoveTree(dir); }
  std::vector<std::string> Temporaries() const {
    return test::NamesIn(dir.substr(0, dir.size() - 1), "~qm");
  }
};

TEST(CopyReplacing, ReadOnlyOldCopyIsReplacedAndTheNewCopyCarriesTheSource) {
  CopyFolder f;
  const std::string src = f.dir + "src.txt", dest = f.dir + "dest.txt";
  ASSERT_TRUE(WriteFileWithTime(src, "new contents", BaseTime(8000)));
  ASSERT_TRUE(SetFileAttributesA(src.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(WriteFileWithTime(dest, "old", BaseTime()));
  ASSERT_TRUE(SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY));
  EntryFacts old;
  ASSERT_TRUE(LookUpEntry(dest, old));

  EXPECT_EQ(CopyReplacing(src, dest, &old), CopyResult::Copied);

  EXPECT_EQ(ReadFileOrEmpty(dest), "new contents");
  const DWORD attributes = GetFileAttributesA(dest.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(test::SameFileTime(test::LastWriteTime(dest).value_or(FILETIME{}), BaseTime(8000)));
  EXPECT_TRUE(f.Temporaries().empty());
  // A second replacement of the now read-only copy works just the same.
  SetFileAttributesA(src.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(WriteFileWithTime(src, "newer", BaseTime(20000)));
  ASSERT_TRUE(LookUpEntry(dest, old));
  EXPECT_EQ(CopyReplacing(src, dest, &old), CopyResult::Copied);
  EXPECT_EQ(ReadFileOrEmpty(dest), "newer");
}

TEST(CopyReplacing, FailuresLeaveTheOldCopyAndNoTemporaryFile) {
  CopyFolder f;
  const std::string src = f.dir + "src.txt", dest = f.dir + "dest.txt";
  ASSERT_TRUE(WriteFileWithTime(src, "new", BaseTime(8000)));
  ASSERT_TRUE(WriteFileWithTime(dest, "old", BaseTime()));
  EntryFacts old;
  ASSERT_TRUE(LookUpEntry(dest, old));
  {
    UniqueFile lock(CreateFileA(src.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(CopyReplacing(src, dest, &old), CopyResult::Failed);
  }
  EXPECT_EQ(ReadFileOrEmpty(dest), "old");
  EXPECT_TRUE(f.Temporaries().empty());

  EXPECT_EQ(CopyReplacing(f.dir + "vanished.txt", dest, &old), CopyResult::SourceMissing);
  EXPECT_EQ(CopyReplacing(src, f.dir + "no-folder\\dest.txt", nullptr), CopyResult::Failed);

  ASSERT_TRUE(CreateDirectoryA((f.dir + "folder").c_str(), nullptr));
  EntryFacts folder;
  ASSERT_TRUE(LookUpEntry(f.dir + "folder", folder));
  EXPECT_EQ(CopyReplacing(src, f.dir + "folder", &folder), CopyResult::Failed);
  EXPECT_TRUE(FolderExists(f.dir + "folder"));
  EXPECT_EQ(ReadFileOrEmpty(dest), "old");
  EXPECT_TRUE(f.Temporaries().empty());
}

// The listing showed no copy, but one stands there by the time of the copy (a second source
// name that differs only in letter case, or a run held between the listing and the copy).
TEST(CopyReplacing, FailedNewCopyNeverRemovesAFileItDidNotMake) {
  CopyFolder f;
  const std::string src = f.dir + "src.txt", dest = f.dir + "dest.txt";
  ASSERT_TRUE(WriteFileWithTime(src, "new", BaseTime(8000)));
  ASSERT_TRUE(WriteFileWithTime(dest, "someone else's", BaseTime()));
  {
    UniqueFile lock(CreateFileA(src.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(CopyReplacing(src, dest, nullptr), CopyResult::Failed);
  }
  EXPECT_EQ(ReadFileOrEmpty(dest), "someone else's");
  EXPECT_TRUE(f.Temporaries().empty());

  // With the source free, the copy that turned up is replaced like any other.
  EXPECT_EQ(CopyReplacing(src, dest, nullptr), CopyResult::Copied);
  EXPECT_EQ(ReadFileOrEmpty(dest), "new");
  EXPECT_TRUE(f.Temporaries().empty());
}

// A folder whose copies still fit MAX_PATH but where a temporary name longer than the file's
// own would not.
TEST(CopyReplacing, DeepFolderCopiesAreMadeAndUpdatedWithoutTemporaryFiles) {
  CopyFolder f;
  std::string deep = f.dir.substr(0, f.dir.size() - 1);
  constexpr size_t kDeepLength = 245;  // + "\a.txt" fits MAX_PATH, + "\~qm12345678.tmp" does not
  ASSERT_LT(deep.size() + 2, kDeepLength);
  while (deep.size() < kDeepLength) {
    deep += "\\" + std::string(std::min<size_t>(60, kDeepLength - deep.size() - 1), 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep.size();
  }
  ASSERT_EQ(deep.size(), kDeepLength);
  const std::string src = f.dir + "src.txt", dest = deep + "\\a.txt", fresh = deep + "\\b.txt";
  ASSERT_TRUE(WriteFileWithTime(src, "new", BaseTime(8000)));
  ASSERT_TRUE(WriteFileWithTime(dest, "old", BaseTime()));
  EntryFacts old;
  ASSERT_TRUE(LookUpEntry(dest, old));

  EXPECT_EQ(CopyReplacing(src, dest, &old), CopyResult::Copied);
  EXPECT_EQ(CopyReplacing(src, fresh, nullptr), CopyResult::Copied);

  EXPECT_EQ(ReadFileOrEmpty(dest), "new");
  EXPECT_TRUE(test::SameFileTime(test::LastWriteTime(dest).value_or(FILETIME{}), BaseTime(8000)));
  EXPECT_EQ(ReadFileOrEmpty(fresh), "new");
  EXPECT_TRUE(test::NamesIn(deep, "~qm").empty());

  // A failed attempt there leaves the copy it would have replaced.
  ASSERT_TRUE(WriteFileWithTime(src, "newer", BaseTime(20000)));
  ASSERT_TRUE(LookUpEntry(dest, old));
  {
    UniqueFile lock(CreateFileA(src.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(CopyReplacing(src, dest, &old), CopyResult::Failed);
    EXPECT_EQ(CopyReplacing(src, deep + "\\c.txt", nullptr), CopyResult::Failed);
  }
  EXPECT_EQ(ReadFileOrEmpty(dest), "new");
  std::vector<std::string> left = test::NamesIn(deep);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "b.txt"}));
}

}  // namespace
}  // namespace qm
