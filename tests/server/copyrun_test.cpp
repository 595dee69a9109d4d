#include "copyrig.h"

#include "base/codepage.h"
#include "base/fileio.h"
#include "server/problems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace qm {
namespace {

using test::BaseTime;
using test::CopyRig;
using test::WriteFileWithTime;
using test::ReadFileOrEmpty;
using test::SameFileTime;
using test::Tag;
using test::LastWriteTime;
using test::MakeFolderLink;
using test::RemoveFolderLink;

const char kMissingLine[] = "QuillmereServer# The tagged file is not available!";

TEST(CopyRun, NewFileIsCopiedWithItsDateAndTheTagGetsSizeAndRunTime) {
  CopyRig rig;
  const std::string src = rig.source + "a.txt";
  ASSERT_TRUE(WriteFileWithTime(src, std::string(3000, 'a'), BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "a.txt")};

  rig.Run(tags);

  const std::string copy = rig.Mirror(src);
  EXPECT_EQ(ReadFileOrEmpty(copy), std::string(3000, 'a'));
  EXPECT_TRUE(SameFileTime(LastWriteTime(copy).value_or(FILETIME{}), BaseTime()));
  EXPECT_EQ(tags[0].Size, 3u);
  EXPECT_EQ(tags[0].LastSync, rig.clock.now);
  EXPECT_EQ(rig.clock.sleeps, std::vector<unsigned>{1});
  EXPECT_EQ(rig.holds, 1);
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_TRUE(test::NamesIn(rig.Mirror(rig.source), "~qm").empty());
}

TEST(CopyRun, SameFileDateWithOtherContentIsNotCopiedAndTheTagStays) {
  CopyRig rig;
  const std::string src = rig.source + "a.txt";
  ASSERT_TRUE(WriteFileWithTime(src, std::string(5000, 'n'), BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "a.txt")};
  rig.Run(tags);  // makes the copy and its folders
  const std::string copy = rig.Mirror(src);
  ASSERT_TRUE(WriteFileWithTime(copy, "old", BaseTime(1000)));  // same 2-second step
  tags[0].Size = 7;
  tags[0].LastSync = 44000.0;
  rig.clock.now += 1;

  rig.Run(tags);

  EXPECT_EQ(ReadFileOrEmpty(copy), "old");
  EXPECT_EQ(tags[0].Size, 7u);
  EXPECT_EQ(tags[0].LastSync, 44000.0);
  EXPECT_TRUE(rig.dialogs.empty());
}

TEST(CopyRun, CopiesTwoSecondsNewerOrOlderAreReplacedAndCloserOnesAreEqual) {
  CopyRig rig;
  rig.clock.now = 45000.0;
  struct Case {
    const char* name;
    int64_t sourceMs, copyMs;
    bool replaced;
  } cases[] = {
      {"newer.txt", 0, 2000, true},      // a copy newer than its source is replaced too
      {"older.txt", 2000, 0, true},
      {"samestep.txt", 0, 1990, false},  // 10:00:00.000 and 10:00:01.990: one DOS step
      {"fatround.txt", 1900, 2100, false},  // next step, but only 0.2 s apart
      {"farolder.txt", 60000, 0, true},
  };
  std::vector<TTagItem> tags;
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileWithTime(rig.source + c.name, "source", BaseTime(c.sourceMs)));
    tags.push_back(Tag(rig.source, c.name));
  }
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), rig.Mirror(rig.source)));
  for (const Case& c : cases)
    ASSERT_TRUE(WriteFileWithTime(rig.Mirror(rig.source + c.name), "copy", BaseTime(c.copyMs)));

  rig.Run(tags);

  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + c.name)), c.replaced ? "source" : "copy")
        << c.name;
    EXPECT_EQ(tags[i].Size, c.replaced ? 1u : 0u) << c.name;
  }
  EXPECT_TRUE(test::NamesIn(rig.Mirror(rig.source), "~qm").empty());
}

TEST(CopyRun, FolderTagCopiesHiddenAndSystemFilesAndCountsEveryFileOnce) {
  CopyRig rig;
  const std::string tree = rig.source + "Proj";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub\\deeper").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\plain.txt", std::string(2048, 'p'), BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\hidden.sys", std::string(4096, 'h'), BaseTime()));
  ASSERT_TRUE(SetFileAttributesA((tree + "\\hidden.sys").c_str(),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\sub\\empty.dat", "", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\sub\\deeper\\up.txt", std::string(10240, 'u'), BaseTime()));
  // Already up to date: not copied, but still counted in the folder's size.
  const std::string destTree = rig.Mirror(tree);
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree + "\\sub\\deeper"));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\sub\\deeper\\up.txt", "kept", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "Proj", 3)};

  rig.Run(tags);

  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\plain.txt"), std::string(2048, 'p'));
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\hidden.sys"), std::string(4096, 'h'));
  const DWORD hiddenAttributes = GetFileAttributesA((destTree + "\\hidden.sys").c_str());
  ASSERT_NE(hiddenAttributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(hiddenAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(FileExists(destTree + "\\sub\\empty.dat"));
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\sub\\deeper\\up.txt"), "kept");
  // 2 + 4 + 1 (an empty file counts as 1 KB) + 10; "." and ".." would add more or never end.
  EXPECT_EQ(tags[0].Size, 17u);
  EXPECT_EQ(tags[0].LastSync, rig.clock.now);
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_EQ(rig.holds, 1 + 4);  // before the tag and before each file
}

TEST(CopyRun, EmptyFolderKeepsItsSizeAndGetsItsMirrorFolder) {
  CopyRig rig;
  ASSERT_TRUE(CreateDirectoryA((rig.source + "Empty").c_str(), nullptr));
  std::vector<TTagItem> tags{Tag(rig.source, "Empty", 2)};
  tags[0].Size = 77;

  rig.Run(tags);

  EXPECT_EQ(tags[0].Size, 77u);
  EXPECT_TRUE(FolderExists(rig.Mirror(rig.source + "Empty")));
  EXPECT_EQ(tags[0].LastSync, rig.clock.now);  // the folders were made in this run
}

// Bytes above ASCII are letters in Windows-1251 (Cyrillic) and in the Western code pages alike:
// the copies carry the very bytes of their names, which under Windows-1251 are the Cyrillic
// names themselves.
TEST(CopyRun, NamesOutsideAsciiAreCopiedUnderTheSameNames) {
  CopyRig rig;
  const std::string folder = "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB";  // Документы
  const std::string file = "\xD1\xEC\xE5\xF2\xE0 \xB9" "1.txt";          // Смета №1.txt
  ASSERT_TRUE(CreateDirectoryA((rig.source + folder).c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(rig.source + folder + "\\" + file, "in the folder", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(rig.source + file, "alone", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, folder, 2), Tag(rig.source, file)};

  rig.Run(tags);

  std::vector<std::string> names = test::NamesIn(rig.Mirror(rig.source));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{folder, file}));  // "\xC4..." before "\xD1..."
  EXPECT_EQ(test::NamesIn(rig.Mirror(rig.source + folder)), std::vector<std::string>{file});
  EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + folder + "\\" + file)), "in the folder");
  EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + file)), "alone");
  EXPECT_EQ(tags[0].LastSync, rig.clock.now);
  EXPECT_EQ(tags[1].LastSync, rig.clock.now);
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_TRUE(rig.dialogs.empty());
  if (GetACP() == 1251) {
    const std::string mirror = rig.Mirror(rig.source);  // an ASCII path
    const std::wstring copy = std::wstring(mirror.begin(), mirror.end()) +
                              L"\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\"
                              L"\u0421\u043C\u0435\u0442\u0430 \u2116" L"1.txt";
    EXPECT_NE(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES) << "not the Cyrillic name";
  }
}

TEST(CopyRun, MissingTaggedFileGivesOneLogLineNoDialogAndAMissingFolderTheRunTime) {
  CopyRig rig;
  const std::string copy = rig.Mirror(rig.source + "gone.txt");
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), rig.Mirror(rig.source)));
  ASSERT_TRUE(WriteFileWithTime(copy, "old copy", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "gone.txt"), Tag(rig.source + "new\\", "x.txt")};
  tags[0].Size = 5;

  rig.Run(tags);

  EXPECT_EQ(rig.lines, (std::vector<std::string>{kMissingLine, kMissingLine}));
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_EQ(ReadFileOrEmpty(copy), "old copy");
  EXPECT_EQ(tags[0].Size, 5u);
  EXPECT_EQ(tags[0].LastSync, 37987.0);  // its destination folder was there
  // The second tag's destination folder was made in this run: it gets the run's time although
  // nothing of it could be copied.
  EXPECT_TRUE(FolderExists(rig.Mirror(rig.source + "new\\")));
  EXPECT_EQ(tags[1].LastSync, rig.clock.now);
}

TEST(CopyRun, FolderThatCannotBeMadeIsLoggedAndOnlyItsSubtreeSkipped) {
  CopyRig rig;
  const std::string tree = rig.source + "Tree";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\blocked").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\blocked\\inner.txt", std::string(1024, 'i'), BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\top.txt", std::string(1024, 't'), BaseTime()));
  const std::string destTree = rig.Mirror(tree);
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\blocked", "a file where the folder belongs", BaseTime()));
  // A second tag whose whole destination is blocked by a file.
  ASSERT_TRUE(CreateDirectoryA((rig.source + "Other").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(rig.source + "Other\\o.txt", "o", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(rig.Mirror(rig.source + "Other"), "blocker", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "Tree", 2), Tag(rig.source, "Other", 2)};

  rig.Run(tags);

  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\top.txt"), std::string(1024, 't'));
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\blocked"), "a file where the folder belongs");
  EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + "Other")), "blocker");
  EXPECT_EQ(rig.lines, (std::vector<std::string>{
                           "QuillmereServer# Can't create new directiry: " + destTree + "\\blocked",
                           "QuillmereServer# Can't create new directiry: " +
                               rig.Mirror(rig.source + "Other")}));
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_EQ(tags[0].Size, 1u);  // the skipped subtree adds nothing
  EXPECT_EQ(tags[1].Size, 0u);
}

TEST(CopyRun, TagsWithTheSameKeyShareTheLatestTimeAndLetterCaseCounts) {
  CopyRig rig;
  const std::string folder = rig.source + "Docs\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(folder + "new.txt", "n", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(folder + "same.txt", "s", BaseTime()));
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), rig.Mirror(folder)));
  ASSERT_TRUE(WriteFileWithTime(rig.Mirror(folder) + "\\same.txt", "s", BaseTime()));

  std::string otherCase = folder;
  std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(), ::toupper);
  ASSERT_NE(otherCase, folder);
  std::vector<TTagItem> tags{
      Tag(folder, "new.txt"),      // copied: gets the run time
      Tag(folder, "same.txt"),     // nothing copied: takes the first tag's time
      Tag(otherCase, "same.txt"),  // the same file, a key that differs in case: keeps its own
      Tag(rig.source, "Docs", 2),  // folder tag of that folder: the same key as the file tags
  };
  tags[2].LastSync = 44000.0;
  rig.Run(tags);

  EXPECT_EQ(tags[0].LastSync, rig.clock.now);
  EXPECT_EQ(tags[1].LastSync, rig.clock.now);
  EXPECT_EQ(tags[2].LastSync, 44000.0);
  EXPECT_EQ(tags[3].LastSync, rig.clock.now);
  EXPECT_EQ(rig.clock.sleeps.size(), 4u);

  // A key match never moves a later time back.
  const DateTime later = rig.clock.now + 1;
  tags[1].LastSync = later;
  rig.clock.now += 0.5;
  rig.Run(tags);
  EXPECT_EQ(tags[1].LastSync, later);
  EXPECT_EQ(tags[3].LastSync, tags[0].LastSync);
}

TEST(CopyRun, TagLeadingOutOfTheTargetIsRefusedWithTheGeneralMessage) {
  CopyRig rig;
  ASSERT_TRUE(WriteFileWithTime(rig.source + "a.txt", "secret", BaseTime()));
  // "Z:\..\..\rest" still names the source file, but its mirror climbs out of the target.
  std::string climbing = rig.source.substr(0, 3) + "..\\..\\" + rig.source.substr(3);
  ASSERT_EQ(ReadFileOrEmpty(climbing + "a.txt"), "secret");
  std::vector<TTagItem> tags{Tag(climbing, "a.txt"), Tag(rig.source, "..\\..\\a.txt")};

  rig.Run(tags);

  ASSERT_EQ(rig.dialogs.size(), 2u);
  EXPECT_EQ(rig.dialogs[0], std::make_pair(test::UnableText("a.txt"), int{dkMessage}));
  EXPECT_EQ(rig.dialogs[1].first, test::UnableText("..\\..\\a.txt"));
  const std::string escaped = rig.target + "..\\" + rig.source.substr(3);
  EXPECT_FALSE(FileExists(escaped));
  EXPECT_TRUE(test::NamesIn(rig.target).empty());
  EXPECT_EQ(tags[0].LastSync, 37987.0);
  EXPECT_EQ(rig.clock.sleeps.size(), 2u);
}

// A tag named "?.txt" (what conf.xml gives for a name the code page cannot hold) would find
// a.txt and its copy in every lookup, and with their dates equal the run would pass it by as
// done: it names no entry.
TEST(CopyRun, ATagWhoseNameHoldsAWildcardIsRefusedWithTheGeneralMessage) {
  CopyRig rig;
  ASSERT_TRUE(WriteFileWithTime(rig.source + "a.txt", "a", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "a.txt")};
  rig.Run(tags);
  ASSERT_TRUE(rig.dialogs.empty());
  tags = {Tag(rig.source, "?.txt"), Tag(rig.source + "*\\", "a.txt")};

  rig.Run(tags);

  ASSERT_EQ(rig.dialogs.size(), 2u);
  EXPECT_EQ(rig.dialogs[0], std::make_pair(test::UnableText("?.txt"), int{dkMessage}));
  EXPECT_EQ(rig.dialogs[1].first, test::UnableText("a.txt"));
  EXPECT_EQ(tags[0].LastSync, 37987.0);
  EXPECT_EQ(tags[1].LastSync, 37987.0);
}

TEST(CopyRun, LinkBackIntoTheWalkedTreeIsNotFollowedAgain) {
  CopyRig rig;
  const std::string tree = rig.source + "Looped";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\sub\\f.txt", std::string(3072, 'f'), BaseTime()));
  const std::string link = tree + "\\sub\\back";
  if (!MakeFolderLink(tree, link))
    GTEST_SKIP() << "no way to make a folder link here (needs Wine and /bin/ln)";
  std::vector<TTagItem> tags{Tag(rig.source, "Looped", 2)};

  rig.Run(tags);

  const std::string destTree = rig.Mirror(tree);
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\sub\\f.txt"), std::string(3072, 'f'));
  EXPECT_FALSE(FileExists(destTree + "\\sub\\back"));
  EXPECT_EQ(tags[0].Size, 3u);
  EXPECT_TRUE(rig.dialogs.empty());
  RemoveFolderLink(link);
}

// Under a code page that cannot hold a name, the name leads nowhere (or by best fit to another
// entry): its entry is reported as a copy that failed, under the name as it shows, and is never
// entered. A file still counts toward its folder's size; a folder that is not entered adds
// nothing.
TEST(CopyRun, AnEntryTheCodePageCannotNameIsReportedAsAFailedCopyAndNotEntered) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 holds every name";
  CopyRig rig;
  const std::string tree = rig.source + "Tree";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  const std::wstring unheld = SystemTextToWide(tree) + L"\\\u8CC7\u6599";  // two CJK letters
  ASSERT_TRUE(CreateDirectoryW(unheld.c_str(), nullptr));
  for (const std::wstring& file : {unheld + L"\\inner.txt", unheld + L".txt"}) {
    UniqueFile made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes(2048, 'u');
    DWORD written = 0;
    ASSERT_TRUE(made && WriteFile(made.get(), bytes.data(), 2048, &written, nullptr));
  }
  ASSERT_TRUE(WriteFileWithTime(tree + "\\plain.txt", "p", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "Tree", 2)};

  rig.Run(tags);

  std::vector<std::pair<std::string, int>> dialogs = rig.dialogs;
  std::sort(dialogs.begin(), dialogs.end());
  EXPECT_EQ(dialogs, (std::vector<std::pair<std::string, int>>{
                         {test::UnableText("??"), dkMessage},
                         {test::UnableText("??.txt"), dkMessage}}));
  std::vector<std::string> lines = rig.lines;
  std::sort(lines.begin(), lines.end());
  const auto logged = [](const std::string& name) {
    const std::string text = test::UnableText(name);
    return "QuillmereServer# " + text.substr(0, text.find('|'));
  };
  EXPECT_EQ(lines, (std::vector<std::string>{logged("??"), logged("??.txt")}));
  EXPECT_EQ(test::NamesIn(rig.Mirror(tree)), std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(tags[0].Size, 1u + 2u);
}

TEST(CopyRun, LockedSourceQueuesTheExactMessageBoxAndTheRunGoesOn) {
  CopyRig rig;
  ASSERT_TRUE(WriteFileWithTime(rig.source + "locked.txt", "busy", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(rig.source + "free.txt", "free", BaseTime()));
  UniqueFile lock(CreateFileA((rig.source + "locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  std::vector<TTagItem> tags{Tag(rig.source, "locked.txt"), Tag(rig.source, "free.txt")};

  rig.Run(tags);

  ASSERT_EQ(rig.dialogs.size(), 1u);
  EXPECT_EQ(rig.dialogs[0].first,
            "Quillmere was unable to move the file: locked.txt. This was most likely because it "
            "was in use by another application.  Close all applications and try again!|Quillmere "
            "was unable to move a file!");
  EXPECT_EQ(rig.dialogs[0].second, dkMessage);
  EXPECT_EQ(rig.lines, std::vector<std::string>{
                           "QuillmereServer# Quillmere was unable to move the file: locked.txt. "
                           "This was most likely because it was in use by another application.  "
                           "Close all applications and try again!"});
  EXPECT_FALSE(FileExists(rig.Mirror(rig.source + "locked.txt")));
  EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + "free.txt")), "free");
  EXPECT_EQ(test::NamesIn(rig.Mirror(rig.source)), std::vector<std::string>{"free.txt"});
  EXPECT_EQ(tags[1].LastSync, rig.clock.now);
}

TEST(CopyRun, TargetInsideTheTaggedFolderIsNeitherWalkedNorCounted) {
  CopyRig rig;
  const std::string data = rig.source + "Data";
  ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((data + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(data + "\\a.txt", std::string(2048, 'a'), BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(data + "\\sub\\b.txt", std::string(1024, 'b'), BaseTime()));
  const std::string target = data + "\\Backup\\";
  std::vector<TTagItem> tags{Tag(rig.source, "Data", 2)};

  for (int run = 0; run < 2; ++run) {
    rig.run.SyncAll(tags, target);
    const std::string mirror = target + data.substr(0, 1) + data.substr(2);
    EXPECT_EQ(ReadFileOrEmpty(mirror + "\\a.txt"), std::string(2048, 'a'));
    EXPECT_EQ(ReadFileOrEmpty(mirror + "\\sub\\b.txt"), std::string(1024, 'b'));
    EXPECT_FALSE(FolderExists(mirror + "\\Backup")) << "run " << run;
    EXPECT_EQ(tags[0].Size, 3u) << "run " << run;
  }
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_TRUE(rig.lines.empty());
}

TEST(CopyRun, DestinationFolderThatCannotBeListedIsLookedUpPathByPath) {
  CopyRig rig;
  const std::string tree = rig.source + "Tree";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\same.txt", "source", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\changed.txt", "source", BaseTime(60000)));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\new.txt", "source", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\sub\\inner.txt", "source", BaseTime()));
  const std::string destTree = rig.Mirror(tree);
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree + "\\sub"));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\same.txt", "kept", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\changed.txt", "stale", BaseTime()));
  // Another program holds the folder so that it cannot be listed; its paths still answer.
  UniqueFile hold(CreateFileA(destTree.c_str(), FILE_LIST_DIRECTORY, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(hold);
  WIN32_FIND_DATAA probe;
  UniqueFind listing(FindFirstFileA((destTree + "\\*.*").c_str(), &probe));
  if (listing) GTEST_SKIP() << "a held folder can still be listed here";
  std::vector<TTagItem> tags{Tag(rig.source, "Tree", 2)};

  rig.Run(tags);
  hold.close();

  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\same.txt"), "kept");
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\changed.txt"), "source");
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\new.txt"), "source");
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\sub\\inner.txt"), "source");
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_EQ(tags[0].Size, 4u);
}

// What a process that ended in the middle of a copy leaves: a temporary file beside the copies.
TEST(CopyRun, LeftoverTemporaryFilesGoAndAUsersLookalikeIsCopiedAndKept) {
  CopyRig rig;
  const std::string tree = rig.source + "Proj";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  const char users[] = "~qm0123abcd.tmp";
  ASSERT_TRUE(WriteFileWithTime(tree + "\\" + users, "the user's own", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\a.txt", "a", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(rig.source + "single.txt", "s", BaseTime()));
  const std::string destTree = rig.Mirror(tree), destFolder = rig.Mirror(rig.source);
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree));
  for (const std::string& leftover : {destTree + "\\~qm89abcdef.tmp", destFolder + "\\~qm00000001.tmp"})
    ASSERT_TRUE(WriteFileWithTime(leftover, "torn", BaseTime()));
  // Names the program never makes, though close to its own.
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\~QM7777AAAA.TMP", "other", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\~qm89abcdef.tmp.txt", "other", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "Proj", 2), Tag(rig.source, "single.txt")};

  for (int run = 0; run < 2; ++run) {
    rig.Run(tags);
    rig.clock.now += 1;
    std::vector<std::string> names = test::NamesIn(destTree);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "~QM7777AAAA.TMP", "~qm0123abcd.tmp",
                                               "~qm89abcdef.tmp.txt"}))
        << "run " << run;
    EXPECT_EQ(ReadFileOrEmpty(destTree + "\\" + users), "the user's own");
    EXPECT_FALSE(FileExists(destFolder + "\\~qm00000001.tmp"));
    EXPECT_EQ(ReadFileOrEmpty(destFolder + "\\single.txt"), "s");
  }
  EXPECT_TRUE(rig.dialogs.empty());
}

}  // namespace
}  // namespace qm
