// A copy run ended by force (TerminateProcess, as at log-off, a crash or a task manager's end)
// while a large file is being written: a copy on the target is whole or absent, and the next
// run completes every copy and clears what the ended one left.
#include "copyrig.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "support/serverprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::BaseTime;
using test::ReadFileOrEmpty;
using test::WriteFileWithTime;

constexpr size_t kBigBytes = 256u << 20;
constexpr DWORD kRunTimeoutMs = 180000;

struct HelperRun {
  UniqueKernelHandle process;
  bool Start(const std::string& source, const std::string& target) {
    const std::string exe = test::BinDir() + "qm_copyrun_helper.exe";
    // A backslash before a closing quote escapes it: the target's last one is doubled.
    std::string command = "\"" + exe + "\" \"" + source + "\" \"" + target + "\\\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
      return false;
    CloseHandle(pi.hThread);
    process.reset(pi.hProcess);
    return true;
  }
  bool Ended() const { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.get(), &code);
    return code;
  }
};

// A file below folder larger than 1 MB and smaller than the big source: a copy being written,
// under its own name, a temporary one, or in a folder built under a temporary name.
bool CopyUnderWay(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &fd));
  if (!find) return false;
  do {
    const std::string name = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name != "." && name != ".." && CopyUnderWay(folder + "\\" + name)) return true;
      continue;
    }
    const uint64_t size = (uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
    if (size > (1u << 20) && size < kBigBytes) return true;
  } while (FindNextFileA(find.get(), &fd));
  return false;
}

// The tag's folder new on the target (built whole under a temporary name), or there already
// (each copy reaches its name on its own, and its new sub-folder is built apart).
class CopyInterrupted : public testing::TestWithParam<bool> {};

TEST_P(CopyInterrupted, NoTornCopyUnderASourceNameAndTheNextRunCompletesAndClearsUp) {
  const bool folderThere = GetParam();
  const std::string source = test::MakeScratchFolder("killsrc");
  const std::string target = test::MakeScratchFolder("killtgt");
  struct Cleanup {
    std::string a, b;
    ~Cleanup() { test::RemoveTree(a), test::RemoveTree(b); }
  } cleanup{source, target};
  const std::string tree = source + "Data";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  struct SourceFile {
    std::string name, bytes;
  };
  std::string big(kBigBytes, '\0');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i / 4096);
  const std::vector<SourceFile> files{
      {"big.bin", std::move(big)},
      {"a.txt", std::string(5000, 'a')},
      {"~qm0123abcd.tmp", "a user's own file with a name like the program's"},
      {"sub\\b.txt", std::string(7000, 'b')},
  };
  for (const SourceFile& f : files)
    ASSERT_TRUE(WriteFileWithTime(tree + "\\" + f.name, f.bytes, BaseTime()));
  const std::string mirror = target + tree.substr(0, 1) + tree.substr(2);
  const std::string mirrorParent = mirror.substr(0, mirror.find_last_of('\\'));

  // The copy of the big file takes a fraction of a second: polled without pause, and tried
  // again from an empty target when it ended before it could be caught.
  bool caught = false;
  for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
    test::RemoveTree(target);
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    if (folderThere) {
      ASSERT_TRUE(ForceDirChain(target.substr(0, 3), mirror));
    }
    HelperRun run;
    ASSERT_TRUE(run.Start(tree, target));
    const ULONGLONG end = GetTickCount64() + kRunTimeoutMs;
    while (!run.Ended() && !(caught = CopyUnderWay(mirrorParent)) && GetTickCount64() < end)
      Sleep(1);
    if (caught) {
      ASSERT_TRUE(TerminateProcess(run.process.get(), 9));
    }
    ASSERT_EQ(WaitForSingleObject(run.process.get(), 30000), WAIT_OBJECT_0);
  }
  ASSERT_TRUE(caught) << "the copy ended every time before it could be interrupted";
  if (!folderThere) {
    EXPECT_FALSE(FileExists(mirror)) << "a new folder stands under its name before it is whole";
    EXPECT_EQ(test::NamesIn(mirrorParent, "~qm").size(), 1u);
  }
  for (const SourceFile& f : files) {
    const std::string copy = mirror + "\\" + f.name;
    if (FileExists(copy)) {
      EXPECT_TRUE(ReadFileOrEmpty(copy) == f.bytes) << f.name << " is torn";
    }
  }

  HelperRun again;
  ASSERT_TRUE(again.Start(tree, target));
  ASSERT_EQ(WaitForSingleObject(again.process.get(), kRunTimeoutMs), WAIT_OBJECT_0);
  EXPECT_EQ(again.ExitCode(), 0u);
  for (const SourceFile& f : files)
    EXPECT_TRUE(ReadFileOrEmpty(mirror + "\\" + f.name) == f.bytes) << f.name;
  EXPECT_EQ(test::NamesIn(mirror, "~"), std::vector<std::string>{"~qm0123abcd.tmp"});
  EXPECT_TRUE(test::NamesIn(mirror + "\\sub", "~").empty());
  EXPECT_TRUE(test::NamesIn(mirrorParent, "~").empty());
}

INSTANTIATE_TEST_SUITE_P(TagFolder, CopyInterrupted, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "AlreadyThere" : "New";
                         });

}  // namespace
}  // namespace qm
