#include "copyrig.h"

#include "base/fileio.h"
#include "server/problems.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::BaseTime;
using test::CopyRig;
using test::WriteFileWithTime;
using test::ReadFileOrEmpty;
using test::Tag;

const std::pair<std::string, int> kFullWarning{kDiskFullText, dkWarn};
const char kFullLine[] = "QuillmereServer# The Target Volume is full!";

struct TwoFileTags {
  explicit TwoFileTags(CopyRig& rig) {
    EXPECT_TRUE(WriteFileWithTime(rig.source + "first.txt", "1", BaseTime()));
    EXPECT_TRUE(WriteFileWithTime(rig.source + "second.txt", "2", BaseTime()));
    tags = {Tag(rig.source, "first.txt"), Tag(rig.source, "second.txt")};
    tags[0].Size = 9;
  }
  std::vector<TTagItem> tags;
};

TEST(CopyRunFull, NinetyNineFreeBytesAfterACopyEndTheRunAHundredDoNot) {
  {
    CopyRig rig;
    rig.probe.freeBytes = 99;
    TwoFileTags t(rig);
    rig.Run(t.tags);
    // The copy itself worked; the tag in hand gets nothing, the later one is not visited.
    EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + "first.txt")), "1");
    EXPECT_FALSE(FileExists(rig.Mirror(rig.source + "second.txt")));
    EXPECT_EQ(t.tags[0].Size, 9u);
    EXPECT_EQ(t.tags[1].LastSync, 37987.0);
    EXPECT_EQ(rig.dialogs, (std::vector<std::pair<std::string, int>>{kFullWarning}));
    EXPECT_EQ(rig.lines, std::vector<std::string>{kFullLine});
    EXPECT_TRUE(rig.clock.sleeps.empty());  // no wait after the tag that ended the run
    EXPECT_EQ(rig.probe.asked, std::vector<char>{rig.target[0]});
  }
  {
    CopyRig rig;
    rig.probe.freeBytes = 100;
    TwoFileTags t(rig);
    rig.Run(t.tags);
    EXPECT_EQ(ReadFileOrEmpty(rig.Mirror(rig.source + "second.txt")), "2");
    EXPECT_EQ(t.tags[0].Size, 1u);
    EXPECT_TRUE(rig.dialogs.empty());
    EXPECT_EQ(rig.clock.sleeps.size(), 2u);
  }
}

TEST(CopyRunFull, UnreadableFreeSpaceCountsAsFullAlsoAfterAFailedCopy) {
  CopyRig rig;
  rig.probe.readable = false;
  ASSERT_TRUE(WriteFileWithTime(rig.source + "locked.txt", "x", BaseTime()));
  UniqueFile lock(CreateFileA((rig.source + "locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  std::vector<TTagItem> tags{Tag(rig.source, "locked.txt")};
  rig.Run(tags);
  ASSERT_EQ(rig.dialogs.size(), 2u);
  EXPECT_EQ(rig.dialogs[0], std::make_pair(test::UnableText("locked.txt"), int{dkMessage}));
  EXPECT_EQ(rig.dialogs[1], kFullWarning);
}

TEST(CopyRunFull, UnchangedFilesNeedNoFreeSpaceTest) {
  CopyRig rig;
  rig.probe.freeBytes = 0;
  ASSERT_TRUE(WriteFileWithTime(rig.source + "same.txt", "s", BaseTime()));
  ASSERT_TRUE(ForceDirChain(rig.target.substr(0, 3), rig.Mirror(rig.source)));
  ASSERT_TRUE(WriteFileWithTime(rig.Mirror(rig.source + "same.txt"), "s", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "same.txt"), Tag(rig.source, "gone.txt")};
  rig.Run(tags);
  EXPECT_TRUE(rig.probe.asked.empty());
  EXPECT_TRUE(rig.dialogs.empty());
  EXPECT_EQ(rig.clock.sleeps.size(), 2u);
}

TEST(CopyRunFull, FullTargetInTheMiddleOfAFolderLeavesTheRestForTheNextRun) {
  CopyRig rig;
  rig.probe.fullAfterCalls = 2;
  const std::string tree = rig.source + "Many";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(WriteFileWithTime(tree + "\\f" + std::to_string(i), "x", BaseTime()));
  ASSERT_TRUE(WriteFileWithTime(rig.source + "later.txt", "later", BaseTime()));
  std::vector<TTagItem> tags{Tag(rig.source, "Many", 2), Tag(rig.source, "later.txt")};
  tags[0].Size = 50;

  rig.Run(tags);

  EXPECT_EQ(test::NamesIn(rig.Mirror(tree)).size(), 3u);  // two copies, and the third that filled it
  EXPECT_FALSE(FileExists(rig.Mirror(rig.source + "later.txt")));
  EXPECT_EQ(tags[0].Size, 50u);
  EXPECT_EQ(tags[0].LastSync, rig.clock.now);  // from making its folders, before the copies
  EXPECT_EQ(rig.dialogs, (std::vector<std::pair<std::string, int>>{kFullWarning}));
}

// A small volume of its own that really fills up.
TEST(CopyRunFull, RealFullDiskKeepsTheOldCopyAndLeavesNoTemporaryFile) {
  const std::string drive = test::SmallDriveRoot();
  if (drive.empty()) GTEST_SKIP() << "no small drive: the harness could not mount its tmpfs";
  CopyRig rig(&SystemVolumeProbe());
  const std::string target = drive + "full-" + std::to_string(GetCurrentProcessId()) + "\\";
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));

  const std::string big = rig.source + "big.bin";
  ASSERT_TRUE(WriteFileWithTime(big, std::string(1536 * 1024, 'N'), BaseTime(60000)));
  ASSERT_TRUE(WriteFileWithTime(rig.source + "later.txt", "later", BaseTime()));
  const std::string copyFolder = target + rig.source.substr(0, 1) + rig.source.substr(2, rig.source.size() - 3);
  ASSERT_TRUE(ForceDirChain(drive, copyFolder));
  const std::string oldCopy = copyFolder + "\\big.bin";
  ASSERT_TRUE(WriteFileWithTime(oldCopy, std::string(512 * 1024, 'O'), BaseTime()));
  ULARGE_INTEGER freeBytes{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(drive.c_str(), &freeBytes, nullptr, nullptr));
  // Leave room for half of the new copy only.
  ASSERT_GT(freeBytes.QuadPart, 768u * 1024);
  ASSERT_TRUE(test::WriteFileBytes(target + "filler", std::string(freeBytes.QuadPart - 768 * 1024, 'F')));

  std::vector<TTagItem> tags{Tag(rig.source, "big.bin"), Tag(rig.source, "later.txt")};
  tags[0].Size = 512;
  rig.run.SyncAll(tags, target);

  EXPECT_EQ(rig.dialogs, (std::vector<std::pair<std::string, int>>{kFullWarning}));
  EXPECT_EQ(rig.lines, std::vector<std::string>{kFullLine});
  EXPECT_EQ(ReadFileOrEmpty(oldCopy), std::string(512 * 1024, 'O'));
  EXPECT_TRUE(test::NamesIn(copyFolder, "~qm").empty());
  EXPECT_FALSE(FileExists(copyFolder + "\\later.txt"));
  EXPECT_EQ(tags[0].Size, 512u);
  EXPECT_EQ(tags[1].LastSync, 37987.0);

  // A new file that does not fit leaves no part of itself either.
  std::vector<TTagItem> fresh{Tag(rig.source, "fresh.bin")};
  ASSERT_TRUE(WriteFileWithTime(rig.source + "fresh.bin", std::string(1536 * 1024, 'R'), BaseTime()));
  rig.run.SyncAll(fresh, target);
  EXPECT_EQ(rig.dialogs.size(), 2u);
  EXPECT_FALSE(FileExists(copyFolder + "\\fresh.bin"));
  EXPECT_EQ(test::NamesIn(copyFolder), std::vector<std::string>{"big.bin"});
  test::RemoveTree(target);
}

// The real probe keeps the volume's root open between questions: every answer is read anew.
TEST(CopyRunFull, SystemProbeReadsTheFreeSpaceAnewAtEveryQuestion) {
  const std::string drive = test::SmallDriveRoot();
  if (drive.empty()) GTEST_SKIP() << "no small drive: the harness could not mount its tmpfs";
  VolumeProbe& probe = SystemVolumeProbe();
  const auto platformFree = [&] {
    ULARGE_INTEGER freeBytes{};
    EXPECT_TRUE(GetDiskFreeSpaceExA(drive.c_str(), &freeBytes, nullptr, nullptr));
    return freeBytes.QuadPart;
  };
  uint64_t before = 0, during = 0, after = 0;
  ASSERT_TRUE(probe.FreeBytes(drive[0], before));
  EXPECT_EQ(before, platformFree());
  const std::string file = drive + "probe-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(test::WriteFileBytes(file, std::string(1 << 20, 'P')));
  ASSERT_TRUE(probe.FreeBytes(drive[0], during));
  EXPECT_LE(during + (1 << 20), before);
  EXPECT_EQ(during, platformFree());
  ASSERT_TRUE(DeleteFileA(file.c_str()));
  probe.ReleaseHeld();
  ASSERT_TRUE(probe.FreeBytes(drive[0], after));
  EXPECT_EQ(after, before);
  probe.ReleaseHeld();
}

// A new folder is built under a temporary name: a full target in the middle of it leaves no
// torn copy and no temporary folder, and the next run completes it.
TEST(CopyRunFull, RealFullDiskInTheMiddleOfANewFolder) {
  const std::string drive = test::SmallDriveRoot();
  if (drive.empty()) GTEST_SKIP() << "no small drive: the harness could not mount its tmpfs";
  CopyRig rig(&SystemVolumeProbe());
  const std::string target = drive + "fullnew-" + std::to_string(GetCurrentProcessId()) + "\\";
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  const std::string tree = rig.source + "Fill";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  const std::vector<std::pair<std::string, std::string>> files{
      {"a.txt", std::string(3000, 'a')},
      {"big.bin", std::string(1536 * 1024, 'B')},
      {"c.txt", std::string(3000, 'c')},
      {"sub\\d.txt", std::string(3000, 'd')}};
  for (const auto& [name, bytes] : files)
    ASSERT_TRUE(WriteFileWithTime(tree + "\\" + name, bytes, BaseTime()));
  const std::string mirror = target + tree.substr(0, 1) + tree.substr(2);
  const std::string mirrorParent = mirror.substr(0, mirror.find_last_of('\\'));
  ULARGE_INTEGER freeBytes{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(drive.c_str(), &freeBytes, nullptr, nullptr));
  ASSERT_GT(freeBytes.QuadPart, 768u * 1024);
  const std::string filler = target + "filler";
  ASSERT_TRUE(test::WriteFileBytes(filler, std::string(freeBytes.QuadPart - 768 * 1024, 'F')));
  std::vector<TTagItem> tags{Tag(rig.source, "Fill", 2)};

  rig.run.SyncAll(tags, target);

  EXPECT_EQ(rig.dialogs, (std::vector<std::pair<std::string, int>>{kFullWarning}));
  EXPECT_TRUE(test::NamesIn(mirrorParent, "~").empty());
  for (const auto& [name, bytes] : files) {
    if (FileExists(mirror + "\\" + name)) {
      EXPECT_TRUE(ReadFileOrEmpty(mirror + "\\" + name) == bytes) << name << " is torn";
    }
  }
  EXPECT_FALSE(FileExists(mirror + "\\big.bin"));
  EXPECT_TRUE(test::NamesIn(mirror, "~").empty());
  EXPECT_TRUE(test::NamesIn(mirror + "\\sub", "~").empty());

  ASSERT_TRUE(DeleteFileA(filler.c_str()));
  rig.run.SyncAll(tags, target);
  EXPECT_EQ(rig.dialogs.size(), 1u);
  for (const auto& [name, bytes] : files)
    EXPECT_TRUE(ReadFileOrEmpty(mirror + "\\" + name) == bytes) << name;
  EXPECT_TRUE(test::NamesIn(mirrorParent, "~").empty());
  EXPECT_TRUE(test::NamesIn(mirror, "~").empty());
  EXPECT_EQ(tags[0].Size, 1536u + 3 * 3);
  test::RemoveTree(target);
}

}  // namespace
}  // namespace qm
