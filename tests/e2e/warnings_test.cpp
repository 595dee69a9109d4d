// The built server's warnings under Wine: a target on a drive that does not exist and a target
// that fills up. The dialogs are found and answered as a user would; the log, the status and
// conf.xml are read from outside.
#include "base/fileio.h"
#include "base/handles.h"
#include "tools/protocol.h"
#include "support/controlclient.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::ChildWithText;
using test::ConfFile;
using test::StatusAnswer;

constexpr unsigned kRunMs = 60000;  // up to 21 s to the next check; more under load
constexpr unsigned kAnswerMs = 15000;

constexpr char kNoTargetCaption[] = "Harvo Quillmere - Target Volume Not Accessible";
constexpr char kNoTargetHeadline[] = "WARNING: Quillmere is unable to access the Target Volume.";
constexpr char kNoTargetSteps[] =
    "1)Reconnect the Target Volume to the PC.\r\n2)Open the Quillmere GUI and define New Target "
    "Volume.\r\n(Silence will Disable this Warning until the Problem has been Rectified)";
constexpr char kNoTargetLog[] = "QuillmereServer# The Target Volume is not available!";
constexpr char kFullCaption[] = "Harvo Quillmere - Target Volume is Full";
constexpr char kFullHeadline[] =
    "WARNING: Quillmere is unable to access the Target Volume because it is Full";
constexpr char kFullLog[] = "QuillmereServer# The Target Volume is full!";

bool Shown(HWND window) { return window != nullptr && IsWindowVisible(window); }

class Warnings : public ::testing::Test {
 protected:
  void SetUp() override { FillFmtSettings("DD-MM-yyyy"); }

  std::string ConfPath() const { return server.folder + "conf.xml"; }

  void StartAndSyncNow(const ConfFile& conf) {
    ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::ServerLayout(conf)));
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});
  }

  HWND WaitForDialog(const std::string& caption, unsigned timeoutMs) {
    return test::WaitForShownDialog(server.process.Pid(), caption, timeoutMs);
  }

  test::ConfItem FileTag(const test::SourceFile& f) const {
    test::ConfItem item;
    item.caption = f.path.substr(f.path.find_last_of('\\') + 1);
    item.path = f.path.substr(0, f.path.find_last_of('\\') + 1);
    item.ftype = 0;
    return item;
  }

  // Declared before the server so that it goes after it: nothing writes there any more.
  std::optional<test::ScopedTree> smallDriveFolder;
  test::ScratchServer server{"warn"};
  test::ControlClient client;
};

TEST_F(Warnings, AMissingTargetWarnsUntilSilencedAndThenOnlyLogs) {
  const std::string drive = test::UnusedDriveRoot();
  ASSERT_FALSE(drive.empty()) << "every drive letter from Q: on names a drive";
  const test::SourceFile notes = test::MakeSourceFile(server.folder + "notes.txt", 900,
                                                      test::LocalFileTime(2020, 1, 2, 3, 4, 6));
  ConfFile conf;
  conf.targetdrive = drive + "Backup\\";
  conf.items = {FileTag(notes)};
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow(conf));

  ASSERT_FALSE(test::WaitForLogText(server.LogPath(), kNoTargetLog, kRunMs).empty())
      << "no attempt within a minute of cmdSyncNow";
  const auto status = test::WaitForStatus(
      client, server.control, [](const StatusAnswer& s) { return s.state == ssNoTarget; },
      kAnswerMs);
  ASSERT_TRUE(status.has_value()) << "the state does not show the missing target";
  EXPECT_EQ(status->lastSync, NeverSyncDate);

  const HWND dialog = WaitForDialog(kNoTargetCaption, kAnswerMs);
  ASSERT_NE(dialog, nullptr) << "no warning";
  const HWND headline = ChildWithText(dialog, kNoTargetHeadline);
  const HWND steps = ChildWithText(dialog, kNoTargetSteps);
  ASSERT_TRUE(Shown(headline));
  EXPECT_TRUE(test::ShowsRed(headline, 10000)) << "the headline is not red";
  EXPECT_TRUE(Shown(steps));
  EXPECT_FALSE(test::ShowsRed(steps, 0)) << "the instructions are red too";
  EXPECT_TRUE(Shown(ChildWithText(dialog, "To Rectify this Problem")));
  EXPECT_TRUE(Shown(ChildWithText(dialog, "Ok")));
  const HWND silence = ChildWithText(dialog, "Silence");
  ASSERT_TRUE(Shown(silence));

  ASSERT_TRUE(test::ClickButton(silence));
  EXPECT_TRUE(test::WaitUntil([&] { return !IsWindow(dialog); }, 10000));
  EXPECT_TRUE(test::WaitForConf(
      ConfPath(), [](const ConfFile& c) { return c.silentflag == 1; }, 5000))
      << test::ReadFileOrEmpty(ConfPath());

  ASSERT_TRUE(test::WaitUntil(
      [&] { return test::CountLogText(server.LogPath(), kNoTargetLog) >= 2; }, kRunMs))
      << "no second attempt";
  // The retry waits for the next check: 21 ticks of at least a second each.
  std::vector<DateTime> attempts;
  for (const std::string& line : test::ReadLines(server.LogPath()))
    if (test::LogText(line) == kNoTargetLog)
      attempts.push_back(test::ParsedTime(line.substr(0, line.find(": "))));
  ASSERT_EQ(attempts.size(), 2u);
  EXPECT_GE(attempts[1] - attempts[0], 19 * kOneSecond);
  // A report would have been queued before its log line; the dialog pump looks every second.
  EXPECT_EQ(WaitForDialog(kNoTargetCaption, 5000), nullptr) << "the silenced warning came back";
  EXPECT_EQ(test::CountLogText(server.LogPath(), kNoTargetLog), 2);
  const auto later = test::AskStatus(client, server.control);
  ASSERT_TRUE(later.has_value());
  EXPECT_EQ(later->state, ssNoTarget);
  EXPECT_EQ(later->lastSync, NeverSyncDate);
  const auto saved = test::ReadConf(ConfPath());
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->silentflag, 1) << "the failed run's save dropped the silence";
  EXPECT_EQ(saved->lastsyncdate, "01-01-2004");
}

TEST_F(Warnings, AFullTargetEndsTheRunKeepsTheOldCopyAndStillRecordsTheRun) {
  const std::string drive = test::SmallDriveRoot();
  if (drive.empty()) GTEST_SKIP() << "no small drive: the harness may not mount a tmpfs here";
  const std::string target = drive + "qm-full-" + std::to_string(GetCurrentProcessId()) + "\\";
  smallDriveFolder.emplace(target);
  ASSERT_TRUE(test::MakeFolderChain(target));
  constexpr size_t kHugeBytes = 6u << 20;
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(drive.c_str(), &free, nullptr, nullptr));
  ASSERT_LT(free.QuadPart, kHugeBytes) << "the small drive has room for the big file";

  const std::string source = server.folder + "src\\";
  ASSERT_TRUE(test::MakeFolderChain(source));
  const auto first =
      test::MakeSourceFile(source + "first.txt", 3000, test::LocalFileTime(2023, 5, 6, 7, 8, 10));
  const auto huge = test::MakeSourceFile(source + "huge.bin", kHugeBytes,
                                         test::LocalFileTime(2023, 5, 6, 7, 8, 12));
  const auto last =
      test::MakeSourceFile(source + "last.txt", 2000, test::LocalFileTime(2023, 5, 6, 7, 8, 14));
  const std::string mirror = test::MirrorOf(target, source);
  const std::string oldCopy = test::MirrorOf(target, huge.path);
  const std::string oldBytes(64 * 1024, 'o');
  const FILETIME oldTime = test::LocalFileTime(2019, 9, 9, 9, 9, 10);
  ASSERT_TRUE(test::MakeFolderChain(mirror));
  ASSERT_TRUE(test::WriteFileWithTime(oldCopy, oldBytes, oldTime));

  ConfFile conf;
  conf.targetdrive = target;
  conf.items = {FileTag(first), FileTag(huge), FileTag(last)};
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow(conf));

  ASSERT_FALSE(test::WaitForLogText(server.LogPath(), kFullLog, kRunMs).empty())
      << "no full target reported within a minute of cmdSyncNow";
  const HWND dialog = WaitForDialog(kFullCaption, kAnswerMs);
  ASSERT_NE(dialog, nullptr) << "no warning";
  EXPECT_TRUE(Shown(ChildWithText(dialog, kFullHeadline)));
  EXPECT_FALSE(Shown(ChildWithText(dialog, "Silence"))) << "a full target cannot be silenced";
  const HWND ok = ChildWithText(dialog, "Ok");
  ASSERT_TRUE(Shown(ok));
  ASSERT_TRUE(test::ClickButton(ok));
  EXPECT_TRUE(test::WaitUntil([&] { return !IsWindow(dialog); }, 10000));

  const auto after = test::WaitForStatus(
      client, server.control,
      [](const StatusAnswer& s) { return s.lastSync > NeverSyncDate && s.state == ssReady; },
      kAnswerMs);
  ASSERT_TRUE(after.has_value()) << "the run that filled the target was not completed";
  EXPECT_EQ(test::CountLogText(server.LogPath(), kFullLog), 1);

  const std::string oldCopyNow = test::ReadFileOrEmpty(oldCopy);
  EXPECT_TRUE(oldCopyNow == oldBytes)
      << "the old copy was damaged: " << oldCopyNow.size() << " bytes";
  const auto oldCopyTime = test::LastWriteTime(oldCopy);
  EXPECT_TRUE(oldCopyTime && test::SameFileTime(*oldCopyTime, oldTime));
  EXPECT_EQ(test::CopyProblem(target, first), "");
  EXPECT_FALSE(FileExists(test::MirrorOf(target, last.path)))
      << "the run went on after the full target";
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  UniqueFind listing(FindFirstFileA((mirror + "*").c_str(), &found));
  for (bool more = static_cast<bool>(listing); more; more = FindNextFileA(listing.get(), &found))
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
      names.push_back(found.cFileName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "huge.bin"}))
      << "a failed copy left a file";

  const auto saved = test::WaitForConf(
      ConfPath(),
      [&](const ConfFile& c) {
        return std::abs(test::ParsedTime(c.lastsyncdate) - after->lastSync) < kOneSecond;
      },
      kAnswerMs);
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
  ASSERT_EQ(saved->items.size(), 3u);
  EXPECT_EQ(saved->items[0].size, test::KilobytesOf(first.bytes.size()));
  EXPECT_GE(test::ParsedTime(saved->items[0].lastsync), after->lastSync - kOneSecond);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(saved->items[i].size, 0) << saved->items[i].caption;
    EXPECT_EQ(saved->items[i].lastsync, "01-01-2004") << saved->items[i].caption;
  }
}

}  // namespace
}  // namespace qm
