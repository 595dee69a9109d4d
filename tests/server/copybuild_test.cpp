// Folders that have no copy yet: built whole under a temporary name and renamed when complete.
#include "copyrig.h"

#include "base/fileio.h"
#include "base/handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using test::BaseTime;
using test::CopyRig;
using test::NamesIn;
using test::ReadFileOrEmpty;
using test::Tag;
using test::WriteFileWithTime;

struct SourceFile {
  std::string name, bytes;  // name below the tree
};

// Proj with a file, a sub-folder and a sub-folder of that: 1 + 2 + 3 KB.
std::vector<SourceFile> MakeProj(const std::string& tree) {
  const std::vector<SourceFile> files{{"a.txt", std::string(1024, 'a')},
                                      {"sub\\b.txt", std::string(2048, 'b')},
                                      {"sub\\deeper\\c.txt", std::string(3072, 'c')}};
  EXPECT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  EXPECT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  EXPECT_TRUE(CreateDirectoryA((tree + "\\sub\\deeper").c_str(), nullptr));
  for (const SourceFile& f : files)
    EXPECT_TRUE(WriteFileWithTime(tree + "\\" + f.name, f.bytes, BaseTime()));
  return files;
}

void ExpectWholeCopies(const std::string& destTree, const std::vector<SourceFile>& files) {
  for (const SourceFile& f : files)
    EXPECT_TRUE(ReadFileOrEmpty(destTree + "\\" + f.name) == f.bytes) << f.name;
}

// Every "~qm" name below folder, with its path.
void CollectTemporaries(const std::string& folder, std::vector<std::string>& found) {
  for (const std::string& name : NamesIn(folder)) {
    const std::string path = folder + "\\" + name;
    if (name.compare(0, 3, "~qm") == 0) found.push_back(path);
    if (FolderExists(path)) CollectTemporaries(path, found);
  }
}
std::vector<std::string> TemporariesBelow(const std::string& folder) {
  std::vector<std::string> found;
  CollectTemporaries(folder, found);
  return found;
}

TEST(CopyBuild, NewFolderTakesItsNameOnlyWhenWhole) {
  struct Case {
    const char* what;
    bool treeThere;     // the tag's folder has its copy already
    const char* built;  // the folder that is new on the target, below the tree
  } cases[] = {{"tag folder new", false, ""}, {"sub-folder new", true, "\\sub"}};
  for (const Case& c : cases) {
    CopyRig rig;
    const std::string tree = rig.source + "Proj";
    const std::vector<SourceFile> files = MakeProj(tree);
    const std::string destTree = rig.Mirror(tree), built = destTree + c.built;
    if (c.treeThere) {
      ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree)) << c.what;
    }
    const std::string builtParent = built.substr(0, built.find_last_of('\\'));
    int holdsWhileBuilding = 0;
    bool seenUnderItsName = false;
    rig.onHold = [&] {
      if (FolderExists(built)) seenUnderItsName = true;
      if (NamesIn(builtParent, "~qm").size() == 1) ++holdsWhileBuilding;
    };
    std::vector<TTagItem> tags{Tag(rig.source, "Proj", 2)};

    rig.Run(tags);

    EXPECT_FALSE(seenUnderItsName) << c.what;
    EXPECT_EQ(holdsWhileBuilding, c.treeThere ? 2 : 3) << c.what;  // the files inside it
    ExpectWholeCopies(destTree, files);
    EXPECT_TRUE(TemporariesBelow(rig.target.substr(0, rig.target.size() - 1)).empty()) << c.what;
    EXPECT_EQ(tags[0].Size, 6u) << c.what;
    EXPECT_EQ(tags[0].LastSync, rig.clock.now) << c.what;
    EXPECT_TRUE(rig.lines.empty()) << c.what;
    EXPECT_TRUE(rig.dialogs.empty()) << c.what;
  }
}

// What an ended run left: temporary folders beside the tag's copy and inside it. A source
// folder that happens to have such a name keeps its copy, and the run copies into it.
TEST(CopyBuild, LeftoverTemporaryFoldersGoAndAUsersLookalikeFolderIsCopiedInto) {
  CopyRig rig;
  const std::string tree = rig.source + "Proj";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  const std::string lookalike = "~qm4567abcd.tmp";
  ASSERT_TRUE(CreateDirectoryA((tree + "\\" + lookalike).c_str(), nullptr));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\" + lookalike + "\\in.txt", "the user's", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\a.txt", "a", BaseTime()));
  const std::string destTree = rig.Mirror(tree), destParent = rig.Mirror(rig.source);
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), destTree + "\\" + lookalike));
  ASSERT_TRUE(WriteFileWithTime(destTree + "\\" + lookalike + "\\extra.txt", "kept", BaseTime()));
  // Left by an ended build: a tree with a read-only copy in it.
  for (const std::string& leftover : {destParent + "\\~qm2468ace0.tmp", destTree + "\\~qm13579bdf.tmp"}) {
    ASSERT_TRUE(CreateDirectoryA(leftover.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((leftover + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileWithTime(leftover + "\\sub\\part.bin", "torn", BaseTime()));
    ASSERT_TRUE(SetFileAttributesA((leftover + "\\sub\\part.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  }
  std::vector<TTagItem> tags{Tag(rig.source, "Proj", 2)};

  for (int run = 0; run < 2; ++run) {
    rig.Run(tags);
    EXPECT_TRUE(NamesIn(destParent, "~").empty()) << "run " << run;
    std::vector<std::string> names = NamesIn(destTree);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", lookalike})) << "run " << run;
    std::vector<std::string> inside = NamesIn(destTree + "\\" + lookalike);
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, (std::vector<std::string>{"extra.txt", "in.txt"})) << "run " << run;
    EXPECT_EQ(ReadFileOrEmpty(destTree + "\\" + lookalike + "\\in.txt"), "the user's");
  }
  EXPECT_TRUE(rig.dialogs.empty());
}

// Another program makes the folder while it is being built: the build cannot take the name,
// and the folder is filled in place instead, every file counted once.
TEST(CopyBuild, NameTakenDuringTheBuildIsFilledInPlace) {
  CopyRig rig;
  const std::string tree = rig.source + "Proj";
  const std::vector<SourceFile> files = MakeProj(tree);
  const std::string destTree = rig.Mirror(tree);
  bool made = false;
  rig.onHold = [&] {
    if (made || NamesIn(rig.Mirror(rig.source), "~qm").empty()) return;
    made = CreateDirectoryA(destTree.c_str(), nullptr) &&
           WriteFileWithTime(destTree + "\\other.txt", "someone else's", BaseTime());
  };
  std::vector<TTagItem> tags{Tag(rig.source, "Proj", 2)};

  rig.Run(tags);

  ASSERT_TRUE(made);
  ExpectWholeCopies(destTree, files);
  EXPECT_EQ(ReadFileOrEmpty(destTree + "\\other.txt"), "someone else's");
  EXPECT_TRUE(TemporariesBelow(rig.target.substr(0, rig.target.size() - 1)).empty());
  EXPECT_EQ(tags[0].Size, 6u);
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_TRUE(rig.dialogs.empty());
}

// A source volume that tells letter case apart may hold two names that differ only in it,
// whose copies meet at one name on the target: a failed copy of the second must not take the
// first one's copy with it.
TEST(CopyBuild, FailedCopyOfACaseTwinKeepsTheOtherTwinsCopy) {
  CopyRig rig;
  const std::string tree = rig.source + "Pairs";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  const std::pair<std::string, std::string> twins[] = {{"Case0.txt", "upper"}, {"case0.txt", "lower"}};
  ASSERT_TRUE(WriteFileWithTime(tree + "\\" + twins[0].first, twins[0].second, BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(tree + "\\other.txt", twins[1].second, BaseTime()));
  if (!test::RenameThroughUnix(tree + "\\other.txt", tree + "\\" + twins[1].first))
    GTEST_SKIP() << "no way to make names that differ only in case here (needs Wine and /bin/mv)";
  // The twin that the listing gives second is the one whose copy fails.
  const std::vector<std::string> listed = NamesIn(tree);
  ASSERT_EQ(listed.size(), 2u);
  const auto& [first, firstBytes] = listed[0] == twins[0].first ? twins[0] : twins[1];
  UniqueFile lock(CreateFileA((tree + "\\" + listed[1]).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  std::vector<TTagItem> tags{Tag(rig.source, "Pairs", 2)};

  rig.Run(tags);

  EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(tree) + "\\" + first), firstBytes);
  EXPECT_EQ(rig.dialogs.size(), 1u);
}

// Makes folders below base, one level at a time, until the path of the last one is length
// characters long; the path of its mirror grows with it by the same amount.
std::string DeepenTo(std::string base, size_t length) {
  while (base.size() < length) {
    const size_t remaining = length - base.size();
    // A name needs a character at least: never leave room for exactly "\\" alone (the length
    // may then come out one more, which no case here depends on).
    size_t take = std::min<size_t>(50, remaining > 1 ? remaining - 1 : 1);
    if (remaining > 1 && remaining - 1 - take == 1) --take;
    base += "\\" + std::string(take, 'd');
    if (!CreateDirectoryA(base.c_str(), nullptr)) return {};
  }
  return base;
}

// A temporary name is longer than a short real one: where paths inside a folder built under it
// would not fit MAX_PATH though the real ones do, the folder is made in place.
TEST(CopyBuild, WhereABuildWouldNotFitTheFolderIsMadeInPlace) {
  struct Case {
    const char* what;
    size_t parentLength;  // of the mirror folder that holds "x", the tag's folder (0: scratch)
    size_t innerLength;   // of the mirror folder below "x" that holds the file (0: "x" itself)
    const char* file;
  } cases[] = {
      // "x": 242 characters; its temporary name: 256, more than a folder's path may have.
      {"temporary folder too long", 240, 0, "a.txt"},
      // The file: 254 characters; inside the temporary folder: 268.
      {"file inside too long", 0, 233, "twenty-one-chars.txt"},
  };
  for (const Case& c : cases) {
    CopyRig rig;
    const size_t grows = rig.target.size() - 1;  // the mirror of a path is that much longer
    const std::string scratch = rig.source.substr(0, rig.source.size() - 1);
    const std::string parent =
        c.parentLength ? DeepenTo(scratch, c.parentLength - grows) : scratch;
    ASSERT_FALSE(parent.empty()) << c.what;
    const std::string tree = parent + "\\x";
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr)) << c.what;
    const std::string inner = c.innerLength ? DeepenTo(tree, c.innerLength - grows) : tree;
    ASSERT_FALSE(inner.empty()) << c.what;
    const std::string file = inner + "\\" + c.file;
    ASSERT_TRUE(WriteFileWithTime(file, "deep", BaseTime())) << c.what;
    ASSERT_TRUE(WriteFileWithTime(tree + "\\top.txt", "top", BaseTime())) << c.what;
    const std::string destTree = rig.Mirror(tree);
    ASSERT_LT(rig.Mirror(file).size(), size_t{MAX_PATH}) << c.what;
    bool inPlaceAtLast = false;
    rig.onHold = [&] { inPlaceAtLast = FolderExists(destTree); };
    std::vector<TTagItem> tags{Tag(parent + "\\", "x", 2)};

    rig.Run(tags);

    EXPECT_TRUE(inPlaceAtLast) << c.what;
    EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(file)), "deep") << c.what;
    EXPECT_EQ(ReadFileOrEmpty(destTree + "\\top.txt"), "top") << c.what;
    EXPECT_TRUE(TemporariesBelow(rig.target.substr(0, rig.target.size() - 1)).empty()) << c.what;
    EXPECT_EQ(tags[0].Size, 2u) << c.what;
    EXPECT_TRUE(rig.lines.empty()) << c.what;
    EXPECT_TRUE(rig.dialogs.empty()) << c.what;
  }
}

}  // namespace
}  // namespace qm
