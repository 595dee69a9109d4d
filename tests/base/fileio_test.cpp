#include "base/fileio.h"

#include "base/codepage.h"
#include "base/handles.h"
#include "support/fakeclock.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeScratchFolder("fileio");
    ASSERT_FALSE(folder_.empty());
    path_ = folder_ + "conf.xml";
  }
  void TearDown() override { test::RemoveTree(folder_); }

  std::string folder_;
  std::string path_;
};

UniqueFile HoldOpen(const std::string& path, DWORD access, DWORD share) {
  return UniqueFile(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST_F(FileIo, ReadsEveryByteButNothingMissingOrHeldByAWriter) {
  const std::string bytes = std::string("a\r\nb\0c\xff", 7) + std::string(200000, 'x');
  ASSERT_TRUE(test::WriteFileBytes(path_, bytes));
  EXPECT_EQ(ReadWholeFile(path_), bytes);
  EXPECT_FALSE(ReadWholeFile(folder_ + "missing.xml").has_value());
  EXPECT_FALSE(ReadWholeFile(folder_).has_value());
  {
    UniqueFile writer = HoldOpen(path_, GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(ReadWholeFile(path_).has_value());
  }
  UniqueFile reader = HoldOpen(path_, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(reader);
  EXPECT_EQ(ReadWholeFile(path_), bytes);
}

TEST_F(FileIo, ReplacesTheWholeContentAndLeavesNoTemporaryFile) {
  EXPECT_TRUE(ReplaceFileAtomically(path_, "first, rather long content"));
  EXPECT_EQ(test::ReadFileOrEmpty(path_), "first, rather long content");
  EXPECT_TRUE(ReplaceFileAtomically(path_, "short"));
  EXPECT_EQ(test::ReadFileOrEmpty(path_), "short");
  EXPECT_FALSE(FileExists(TemporaryPathFor(path_)));
  EXPECT_NE(TemporaryPathFor(path_), path_);
}

TEST_F(FileIo, AFileHeldWithoutSharingStaysWholeAndTheTemporaryFileGoes) {
  ASSERT_TRUE(test::WriteFileBytes(path_, "old content"));
  test::FakeClock clock;
  {
    UniqueFile holder = HoldOpen(path_, GENERIC_READ, 0);
    ASSERT_TRUE(holder);
    EXPECT_FALSE(ReplaceFileAtomically(path_, "new content", clock));
  }
  EXPECT_EQ(test::ReadFileOrEmpty(path_), "old content");
  EXPECT_FALSE(FileExists(TemporaryPathFor(path_)));
  const std::vector<unsigned> waits = clock.FinishedSleeps();
  EXPECT_GE(waits.size(), 2u);  // it retried
  EXPECT_LE(std::accumulate(waits.begin(), waits.end(), 0u), 150u);  // but only briefly
}

TEST_F(FileIo, ARetrySucceedsOnceTheOtherProgramLetsGo) {
  ASSERT_TRUE(test::WriteFileBytes(path_, "old content"));
  UniqueFile holder = HoldOpen(path_, GENERIC_READ, 0);
  ASSERT_TRUE(holder);
  test::FakeClock clock;
  // The other program lets go while the writer waits for the first time.
  clock.SetHooks(nullptr, [&holder](unsigned) { holder.close(); });
  EXPECT_TRUE(ReplaceFileAtomically(path_, "new content", clock));
  EXPECT_EQ(test::ReadFileOrEmpty(path_), "new content");
  EXPECT_EQ(clock.FinishedSleeps().size(), 1u);
}

TEST_F(FileIo, AnUnwritableTemporaryLocationLeavesTheFileAlone) {
  ASSERT_TRUE(test::WriteFileBytes(path_, "old content"));
  ASSERT_TRUE(CreateDirectoryA(TemporaryPathFor(path_).c_str(), nullptr));
  EXPECT_FALSE(ReplaceFileAtomically(path_, "new content"));
  EXPECT_EQ(test::ReadFileOrEmpty(path_), "old content");
  EXPECT_TRUE(FolderExists(TemporaryPathFor(path_)));  // not ours to remove
  EXPECT_FALSE(ReplaceFileAtomically(folder_ + "no such folder\\conf.xml", "x"));
}

TEST_F(FileIo, AFullVolumeLeavesTheFileWholeAndRemovesTheTemporaryFile) {
  const std::string drive = test::SmallDriveRoot();
  if (drive.empty()) GTEST_SKIP() << "no small drive: the harness could not mount one";
  const std::string path = drive + "fileio-" + std::to_string(GetCurrentProcessId()) + ".xml";
  ASSERT_TRUE(ReplaceFileAtomically(path, "old content"));
  EXPECT_FALSE(ReplaceFileAtomically(path, std::string(8u << 20, 'x')));
  EXPECT_EQ(test::ReadFileOrEmpty(path), "old content");
  EXPECT_FALSE(FileExists(TemporaryPathFor(path)));
  DeleteFileA(path.c_str());
}

// Names the code page cannot hold are removed too: listed in the code page, "資料" would be
// "??", which names nothing, and "āb.txt" the look-alike "ab.txt" of its neighbour.
TEST_F(FileIo, RemoveTreeRemovesNamesTheCodePageCannotHold) {
  const std::string tree = folder_ + "tree";
  const std::wstring wide = SystemTextToWide(tree);
  ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((wide + L"\\\u8CC7\u6599").c_str(), nullptr));
  for (const std::wstring& file : {wide + L"\\\u8CC7\u6599\\f.txt", wide + L"\\\u0101b.txt"})
    ASSERT_TRUE(UniqueFile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_READONLY, nullptr)));
  ASSERT_TRUE(test::WriteFileBytes(tree + "\\ab.txt", "the neighbour"));

  EXPECT_TRUE(RemoveTree(tree));
  EXPECT_FALSE(FileExists(tree));
}

TEST_F(FileIo, AReaderSeesOneWholeVersionOrNothing) {
  const std::string a(300000, 'a'), b(200000, 'b');
  ASSERT_TRUE(ReplaceFileAtomically(path_, a));
  std::atomic<bool> stop{false};
  std::atomic<int> writes{0};
  std::thread writer([&] {
    for (int i = 0; i < 200 && !stop; ++i)
      if (ReplaceFileAtomically(path_, i % 2 ? a : b)) ++writes;
  });
  int reads = 0, torn = 0;
  for (int i = 0; i < 400; ++i) {
    const std::optional<std::string> seen = ReadWholeFile(path_);
    if (!seen) continue;
    ++reads;
    if (*seen != a && *seen != b) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
  EXPECT_GT(writes, 0);
}

}  // namespace
}  // namespace qm
